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
    bool simulate = false;
    // --usb or --simulate given: no looking for the real scale first.
    bool roadChosen = false;
    bool noScale = false;
    sim::SimulatedScaleOptions scale;
};

const char USAGE[] =
    "Uso: quelmar [opciones]\n"
    "  --usb             usa la balanza real conectada por USB\n"
    "  --simulate        usa la balanza simulada\n"
    "                    Sin ninguna de las dos: en Linux, la balanza USB si esta\n"
    "                    conectada y si no la simulada; en Windows, el driver USB.\n"
    "  --no-scale        driver simulado sin ninguna balanza conectada\n"
    "  --seed N          semilla de la balanza simulada\n"
    "  --rate N          piezas por segundo de la balanza simulada (0 = ninguna)\n"
    "  --reference-on    empieza con el peso patron sobre la balanza simulada\n"
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
bool ParseOptions(int argc, char** argv, bool simulateByDefault, Options& options, bool& help) {
    options.simulate = simulateByDefault;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&]() -> std::optional<double> { return i + 1 < argc ? Number(argv[++i]) : std::nullopt; };
        if (std::strcmp(arg, "--simulate") == 0 || std::strcmp(arg, "--usb") == 0) {
            options.simulate = arg[2] == 's';
            options.roadChosen = true;
        } else if (std::strcmp(arg, "--no-scale") == 0) {
            options.simulate = true;
            options.roadChosen = true;
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
                std::fprintf(stderr, "quelmar: %s necesita un numero positivo\n", arg);
                return false;
            }
            if (arg[2] == 's') options.scale.seed = static_cast<std::uint64_t>(*number);
            else options.scale.itemsPerSecond = *number;
        } else {
            std::fprintf(stderr, "quelmar: opcion desconocida: %s\n", arg);
            return false;
        }
    }
    return true;
}

// The simulated scale as the front-ends show it and act on it.
class ScalePanel final : public ui::SimulatorPanel {
public:
    ScalePanel(sim::ScalePlug& plug, platform::emulated::Clock& clock) : plug_(plug), clock_(clock) {}

    std::string StateText() const override { return plug_.Scale().Describe(clock_.Now()); }

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
};

// The emulated driver with the simulated scale plugged in, installed as the
// process's system calls for as long as it lives.
class SimulatedDriver {
public:
    explicit SimulatedDriver(const Options& options) : kernel_(clock_), installed_(kernel_) {
        if (options.noScale) return;
        plug_.emplace(kernel_, std::make_shared<sim::SimulatedScale>(options.scale));
        panel_ = std::make_unique<ScalePanel>(*plug_, clock_);
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

int RunQuelmar(int argc, char** argv, const FrontEndFactory& makeFrontEnd, bool simulateByDefault,
               const UsbLinkFactory& makeUsbLink) {
    Options options;
    bool help = false;
    if (!ParseOptions(argc, argv, simulateByDefault, options, help)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (help) {
        std::fputs(USAGE, stdout);
        return 0;
    }

    // The real scale over libusb: when asked for, or by default when one is
    // attached.
    std::unique_ptr<scale::ScaleConnection> usbLink;
    if (makeUsbLink && (!options.roadChosen || !options.simulate)) {
        usbLink = makeUsbLink();
        if (!options.roadChosen && usbLink->FindScale() != scale::FindResult::Ok) {
            usbLink.reset();
            std::fputs(
                "quelmar: no hay ninguna balanza USB conectada; se usa la balanza simulada "
                "(--usb para usar solo la real).\n",
                stderr);
        }
        options.simulate = usbLink == nullptr;
    }
    std::optional<SimulatedDriver> simulated;
    if (options.simulate) simulated.emplace(options);

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
