#include "app/quelmar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/emulated/EmulatedKernel.h"
#include "scale/ScaleLink.h"
#include "sim/ScalePlug.h"
#include "storage/FileSystem.h"
#include "storage/ShiftStore.h"
#include "ui/quelmarDlg.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbDevice.h"
#include "usbio/UsbPipe.h"

namespace app {
namespace {

struct Options {
    ScaleRoad road = ScaleRoad::Default;
    bool noScale = false;
    sim::SimulatedScaleOptions scale;
};

const char USAGE[] =
    "Uso: quelmar [opciones]\n"
    "  --usb             usa la balanza real conectada por USB (también sin opción)\n"
    "  --simulate        usa la balanza simulada\n"
    "  --demo            usa la balanza real si está conectada y si no la simulada\n"
    "                    (en Linux, y lo dice en la ventana; en Windows, la simulada)\n"
    "                    Sin ninguna: solo la balanza real (en Windows, el driver USB).\n"
    "  --no-scale        driver simulado sin ninguna balanza conectada\n"
    "  --seed N          semilla de la balanza simulada\n"
    "  --rate N          piezas por segundo de la balanza simulada (0 = ninguna)\n"
    "  --reference-on    empieza con el peso patrón sobre la balanza simulada\n"
    "  --paused          empieza con el paso de piezas detenido\n"
    "  --help            muestra esta ayuda\n";

std::optional<double> Number(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end != '\0' || !(value >= 0) || value > 1e9) return std::nullopt;
    return value;
}

// False (after saying why on stderr) for a command line it cannot use.
bool ParseOptions(int argc, char** argv, Options& options, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&]() -> std::optional<double> { return i + 1 < argc ? Number(argv[++i]) : std::nullopt; };
        if (std::strcmp(arg, "--simulate") == 0) {
            options.road = ScaleRoad::Simulate;
        } else if (std::strcmp(arg, "--usb") == 0) {
            options.road = ScaleRoad::Usb;
        } else if (std::strcmp(arg, "--demo") == 0) {
            options.road = ScaleRoad::Demo;
        } else if (std::strcmp(arg, "--no-scale") == 0) {
            options.road = ScaleRoad::Simulate;
            options.noScale = true;
        } else if (std::strcmp(arg, "--reference-on") == 0) {
            options.scale.referenceOn = true;
        } else if (std::strcmp(arg, "--paused") == 0) {
            options.scale.paused = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            help = true;
        } else if (std::strcmp(arg, "--seed") == 0 || std::strcmp(arg, "--rate") == 0) {
            const std::optional<double> number = value();
            if (!number) {
                std::fprintf(stderr, "quelmar: %s necesita un número positivo\n", arg);
                return false;
            }
            if (arg[2] == 's') options.scale.seed = static_cast<std::uint64_t>(*number);
            else options.scale.itemsPerSecond = *number;
        } else {
            std::fprintf(stderr, "quelmar: opción desconocida: %s\n", arg);
            return false;
        }
    }
    return true;
}

// The simulated scale as the front-ends show it and act on it.
class ScalePanel final : public ui::SimulatorPanel {
public:
    ScalePanel(sim::ScalePlug& plug, platform::emulated::Clock& clock, bool fellBack)
        : plug_(plug), clock_(clock), fellBack_(fellBack) {}

    std::string StateText() const override {
        const std::string state = plug_.Scale().Describe(clock_.Now());
        return fellBack_ ? FallbackStateText(state) : state;
    }

    void Act(ui::SimulatorAction action) override {
        sim::SimulatedScale& scale = plug_.Scale();
        const sim::Time now = clock_.Now();
        switch (action) {
            case ui::SimulatorAction::Reference: scale.SetReferenceOn(!scale.ReferenceOn(), now); break;
            case ui::SimulatorAction::Pause: scale.SetPaused(!scale.Paused(), now); break;
            case ui::SimulatorAction::Plug: plug_.Toggle(); break;
        }
    }
    bool Taken(ui::SimulatorAction action) const override {
        return action == ui::SimulatorAction::Plug && !plug_.PluggedIn();
    }

private:
    sim::ScalePlug& plug_;
    platform::emulated::Clock& clock_;
    const bool fellBack_;
};

// The emulated driver with the simulated scale plugged in, installed as the
// process's system calls for as long as it lives.
class SimulatedDriver {
public:
    SimulatedDriver(const Options& options, bool fellBack) : kernel_(clock_), installed_(kernel_) {
        if (options.noScale) return;
        plug_.emplace(kernel_, std::make_shared<sim::SimulatedScale>(options.scale));
        panel_ = std::make_unique<ScalePanel>(*plug_, clock_, fellBack);
    }
    ui::SimulatorPanel* Panel() { return panel_.get(); }

private:
    platform::emulated::RealClock clock_;
    platform::emulated::EmulatedKernel kernel_;
    platform::ScopedSys installed_;
    std::optional<sim::ScalePlug> plug_;
    std::unique_ptr<ScalePanel> panel_;
};

// The application object: runs the main window modally; the program ends
// when it ends, whatever its result.
class ScaleApp {
public:
    int InitInstance(ui::FrontEnd& frontEnd, ui::MainDialog& dialog) {
        frontEnd.RunModal(dialog);
        return 0;
    }
};

// The global objects, built in this order before the main window exists and
// destroyed in the reverse order after it has ended.
struct ProgramObjects {
    ScaleApp application;
    usbio::UsbDevice device;
    usbio::UsbPipe readPipe;
    usbio::UsbPipe writePipe;
    usbio::UsbBuffer statusBuffer{scale::STATUS_PACKET_SIZE};
    usbio::UsbBuffer commandBuffer{scale::COMMAND_PACKET_SIZE};
};

}  // namespace

const char* UsageText() { return USAGE; }

bool RunsOnSimulatedScale(ScaleRoad road, bool haveUsbLink, bool simulateByDefault,
                          const std::function<bool()>& realScaleAttached) {
    switch (road) {
        case ScaleRoad::Usb: return false;
        case ScaleRoad::Simulate: return true;
        case ScaleRoad::Demo: return !haveUsbLink || !realScaleAttached();
        case ScaleRoad::Default: break;
    }
    // An installed program never takes the simulated scale on its own where
    // a real one can be reached: it would count with the plant's calibration
    // and limits on a scale that is not there.
    return !haveUsbLink && simulateByDefault;
}

std::string FallbackStateText(const std::string& state) {
    // Said first on the line, where no narrow terminal cuts it off.
    const std::size_t colon = state.find(':');
    if (colon == std::string::npos) return "Sin balanza USB conectada: " + state;
    return state.substr(0, colon) + " (no hay balanza USB conectada)" + state.substr(colon);
}

int RunQuelmar(int argc, char** argv, const FrontEndFactory& makeFrontEnd, bool simulateByDefault,
               const UsbLinkFactory& makeUsbLink) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, options, help)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (help) {
        std::fputs(USAGE, stdout);
        return 0;
    }

    // The real scale over libusb, looked for first only with --demo.
    std::unique_ptr<scale::ScaleConnection> usbLink;
    const auto attached = [&] {
        usbLink = makeUsbLink();
        return usbLink->FindScale() == scale::FindResult::Ok;
    };
    const bool simulate = RunsOnSimulatedScale(options.road, makeUsbLink != nullptr, simulateByDefault, attached);
    const bool fellBack = simulate && usbLink != nullptr;
    if (simulate) usbLink.reset();
    else if (makeUsbLink && !usbLink) usbLink = makeUsbLink();
    if (fellBack)
        std::fputs(
            "quelmar: no hay ninguna balanza USB conectada; se usa la balanza simulada "
            "(sin --demo, solo la real).\n",
            stderr);
    std::optional<SimulatedDriver> simulated;
    if (simulate) simulated.emplace(options, fellBack);

    int result = 0;
    {
        ProgramObjects objects;
        scale::ScaleLink link(objects.device, objects.readPipe, objects.writePipe, objects.statusBuffer,
                              objects.commandBuffer);
        scale::ProgramValues program;
        std::unique_ptr<ui::FrontEnd> frontEnd = makeFrontEnd(simulated ? simulated->Panel() : nullptr);
        if (!frontEnd) return 1;
        scale::ScaleConnection& connection = usbLink ? *usbLink : static_cast<scale::ScaleConnection&>(link);
        const std::unique_ptr<storage::ShiftStore> shift = storage::OpenShiftStore(storage::SHIFT_DATABASE_PATH);
        ui::MainDialog dialog(*frontEnd, connection, storage::RealFileSystem(), *shift, program);
        result = objects.application.InitInstance(*frontEnd, dialog);
    }
    return result;
}

}  // namespace app
