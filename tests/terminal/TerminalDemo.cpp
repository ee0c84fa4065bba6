// A stand-in for the program's window logic on the real terminal front-end:
// enough of the start-up messages, field check, test-mode timer and system
// menu to try the front-end by hand and to prove the end-to-end harness
// before the program itself can run. Not the program: no scale, no files
// beyond looking for the calibration file.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "scale/ControlIds.h"
#include "storage/FileSystem.h"
#include "ui/terminal/TerminalFrontEndFactory.h"

namespace {

class DemoPanel final : public ui::SimulatorPanel {
public:
    std::string StatusLine() const override {
        return std::string("Demo: pesa patrón ") + (reference_ ? "puesta" : "quitada") + "  F2 pesa  F3 pausa  F4 desconectar";
    }
    bool HandleKey(int key) override {
        if (key != 0410 + 2) return false;
        reference_ = !reference_;
        return true;
    }

private:
    bool reference_ = false;
};

class DemoDialog final : public ui::DialogEvents {
public:
    DemoDialog(ui::FrontEnd& window, bool scale) : window_(window), scale_(scale) {}

    void InitializeWindow() override {
        window_.SetControlText(scale::IDC_REFERENCE_WEIGHT, "190");
        for (const int id : scale::LIMIT_FIELD_IDS) window_.SetControlText(id, "0");
        window_.SetControlText(scale::IDC_GRAMS, "");
        window_.SetControlText(scale::IDC_COUNTS, "");
        window_.AppendSystemMenuItem(scale::SYSMENU_ABOUT_ID, "&Acerca de quelmar...");
        if (!scale_) {
            window_.ShowMessage("No hay dispositivos USB conectados!", "Quelmar", platform::MessageIcon::Stop,
                                platform::MessageButtons::Ok);
            window_.CloseModal(platform::ModalResult::Ok);
            return;
        }
        window_.ShowMessage("Dispositivo Encontrado y Configurado!", "Quelmar", platform::MessageIcon::Information,
                            platform::MessageButtons::Ok);
        if (!storage::RealFileSystem().Exists("c:\\velsor\\usb.ini"))
            window_.ShowMessage(
                "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes "
                "de empezar",
                "Configuración", platform::MessageIcon::Stop, platform::MessageButtons::Ok);
    }
    void OnCommand(int id) override {
        if (id == scale::IDC_EXIT) {
            if (ReadFields()) window_.CloseModal(platform::ModalResult::Ok);
        } else if (id == scale::IDC_START_TEST) {
            window_.StartTimer(scale::TIMER_TEST, 100);
            window_.EnableControl(scale::IDC_STOP_TEST, true);
            window_.EnableControl(scale::IDC_START_TEST, false);
        } else if (id == scale::IDC_STOP_TEST) {
            window_.StopTimer(scale::TIMER_TEST);
            window_.EnableControl(scale::IDC_START_TEST, true);
            window_.EnableControl(scale::IDC_STOP_TEST, false);
        } else if (id == scale::IDC_LOAD_LIMITS) {
            platform::FileDialogSettings settings;
            settings.initialFolder = "C:\\velsor\\";
            settings.filters = {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}};
            settings.defaultExtension = ".lim";
            const auto path = window_.ChooseFile(settings);
            window_.ShowMessage(path ? *path : "Cancelado", "", platform::MessageIcon::Information,
                                platform::MessageButtons::Ok);
        }
    }
    void OnEditChange(int) override {}
    void OnTimer(int id) override {
        if (id != scale::TIMER_TEST) return;
        ++ticks_;
        window_.SetControlText(scale::IDC_COUNTS, std::to_string(ticks_ % 256));
        window_.SetControlText(scale::IDC_GRAMS, std::to_string(ticks_ % 256 * 2));
    }
    bool OnSysCommand(int id) override {
        if ((id & 0xFFF0) != scale::SYSMENU_ABOUT_ID) return false;
        window_.RunAboutBox();
        return true;
    }
    void OnAccept() override {
        if (ReadFields()) window_.CloseModal(platform::ModalResult::Ok);
    }
    void OnCancel() override { window_.CloseModal(platform::ModalResult::Cancel); }
    void OnClose() override { window_.CloseModal(platform::ModalResult::Cancel); }

private:
    bool ReadFields() {
        const std::string text = window_.GetControlText(scale::IDC_REFERENCE_WEIGHT);
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || value < 150 || value > 600) {
            window_.ShowMessage("Ingrese un numero entre 150 y 600.", "", platform::MessageIcon::Exclamation,
                                platform::MessageButtons::Ok);
            window_.FocusControl(scale::IDC_REFERENCE_WEIGHT);
            return false;
        }
        return true;
    }

    ui::FrontEnd& window_;
    bool scale_;
    unsigned ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    bool scalePresent = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-scale") == 0) {
            scalePresent = false;
        } else {
            std::fprintf(stderr, "uso: %s [--no-scale]\n", argv[0]);
            return 2;
        }
    }
    DemoPanel panel;
    auto window = ui::terminal::MakeTerminalFrontEnd(&panel);
    if (!window) return 1;
    DemoDialog dialog(*window, scalePresent);
    window->RunModal(dialog);
    return 0;
}
