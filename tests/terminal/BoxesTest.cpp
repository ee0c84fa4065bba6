// The message box and the file dialog on a host that hands them scripted
// keys and draws them on an in-memory terminal before each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "FakeTerminal.h"
#include "ui/terminal/Boxes.h"
#include "ui/terminal/FileDialog.h"

namespace ui::terminal {
namespace {

using platform::MessageButtons;
using platform::MessageResult;

class FakeHost final : public ModalHost {
public:
    explicit FakeHost(std::string_view keys) {
        // Typed text; \r Enter, \x1b Escape, \t Tab, \x11 Ctrl+Q; \x02 F2,
        // \x14 Alt+T, \x0c Alt+L, \x0e Down.
        for (const char c : keys)
            script.push_back(c == '\x02' ? Key::Special(KeyCodeF(2)) : c == '\x14' ? Key::Char('t', true)
                             : c == '\x0c' ? Key::Char('l', true) : c == '\x0e' ? Key::Special(KEY_CODE_DOWN)
                                                                  : Key::Char(static_cast<unsigned char>(c)));
    }
    std::optional<Key> NextKey() override {
        terminal.Clear();
        box->Draw(terminal);
        screens.push_back(terminal.Screen());
        if (script.empty()) std::abort();  // the box never ended
        const Key key = script.front();
        script.pop_front();
        return key;
    }
    void OfferToPanel(const Key& key) override { panelKeys.push_back(key.code); }
    void SetCursorWanted(int, int) override {}
    MessageResult ShowMessage(std::string_view text, std::string_view, platform::MessageIcon,
                              MessageButtons) override {
        questions.emplace_back(text);
        MessageResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool Showed(std::string_view text) const {
        for (const auto& s : screens)
            if (s.find(text) != std::string::npos) return true;
        return false;
    }

    std::int64_t now = 0;
    testing::FakeTerminal terminal{24, 80, now};
    std::deque<Key> script;
    std::vector<std::string> screens, questions;
    std::vector<int> panelKeys;
    std::deque<MessageResult> answers;

private:
    void Open(ModalBox& opened) override { box = &opened; }
    void Close(ModalBox&) override {}
    ModalBox* box = nullptr;
};

TEST(MessageBoxTest, AnswersLikeWindowsOnesAndHandsOtherKeysToTheScale) {
    struct Case {
        MessageButtons buttons;
        const char* keys;
        MessageResult answer;
    };
    for (const Case& c : {Case{MessageButtons::OkCancel, "\r", MessageResult::Ok},
                          Case{MessageButtons::OkCancel, "\x1b", MessageResult::Cancel},
                          Case{MessageButtons::OkCancel, "\t\r", MessageResult::Cancel},
                          Case{MessageButtons::OkCancel, "\x02 ", MessageResult::Ok},
                          Case{MessageButtons::Ok, "\x1b", MessageResult::Ok},
                          Case{MessageButtons::Ok, "\x11", MessageResult::Ok}}) {
        SCOPED_TRACE(c.keys);
        FakeHost host(c.keys);
        MessageBox box(host, "¿Desea borrar?", "Reset", platform::MessageIcon::Exclamation, c.buttons);
        EXPECT_EQ(box.Run(), c.answer);
        EXPECT_EQ(host.panelKeys, std::string(c.keys) == "\x02 " ? std::vector<int>{KeyCodeF(2)} : std::vector<int>{});
        EXPECT_EQ(host.Showed("[Cancelar]"), c.buttons == MessageButtons::OkCancel);
    }
    FakeHost host("\r");
    MessageBox box(host, "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites "
                   "antes de empezar", "quelmar", platform::MessageIcon::Stop, MessageButtons::Ok);
    static_cast<void>(box.Run());
    for (const char* text : {" quelmar ", "(x)", "[Aceptar]", "No se encontro el archivo de configuracion,",
                             "calibrar la balanza y cargar los limites antes de", "│       empezar "})
        EXPECT_TRUE(host.Showed(text)) << text << "\n" << host.screens[0];
}

TEST(FileDialogTest, ListsChoosesAndAsksBeforeReplacing) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("quelmar_drive_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "velsor");
    for (const char* name : {"turno.lim", "noche.lim", "informe.est"}) std::ofstream(root / "velsor" / name) << "x";
    setenv("QUELMAR_DRIVE_C", root.c_str(), 1);
    using platform::FileDialogKind;
    struct Case {
        const char* name;
        FileDialogKind kind;
        const char* folder;
        const char* keys;
        std::deque<MessageResult> answers;  // to the question to replace a file
        std::optional<std::string> chosen;
        std::vector<const char*> shown;
        const char* hidden;
    };
    const Case cases[] = {
        {"the first filter's files; the default extension added", FileDialogKind::Open, "C:\\velsor\\", "turno\r", {},
         "C:\\velsor\\turno.lim", {"noche.lim", "turno.lim", "< Archivos Límites USB(*.lim) >"}, "informe.est"},
        {"the second filter shows every file, the list fills the name", FileDialogKind::Open, "C:\\velsor\\",
         "\x14 \x0c\x0e\r", {}, "C:\\velsor\\informe.est", {"< Todos los archivos(*.*) >"}, "(ningún archivo)"},
        {"a missing file to open is the program's to report", FileDialogKind::Open, "C:\\nohay\\", "x\r", {},
         "C:\\nohay\\x.lim", {"(ningún archivo)"}, "[Guardar]"},
        {"saving over a file asks; Cancel keeps the dialog open", FileDialogKind::Save, "C:\\velsor\\", "noche\r\r",
         {MessageResult::Cancel, MessageResult::Ok}, "C:\\velsor\\noche.lim", {"Guardar como", "[Guardar]"}, "[Abrir]"},
        {"Escape cancels", FileDialogKind::Save, "C:\\velsor\\", "otro\x1b", {}, std::nullopt, {}, "(ningún archivo)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host(c.keys);
        host.answers = c.answers;
        platform::FileDialogSettings settings;
        settings.kind = c.kind;
        settings.initialFolder = c.folder;
        settings.filters = {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}};
        settings.defaultExtension = ".lim";
        FileDialog dialog(host, settings);
        EXPECT_EQ(dialog.Run(), c.chosen);
        for (const char* text : c.shown) EXPECT_TRUE(host.Showed(text)) << text << "\n" << host.screens[0];
        EXPECT_FALSE(host.Showed(c.hidden)) << c.hidden;
        EXPECT_EQ(host.questions.size(), c.answers.size());
        for (const auto& question : host.questions) EXPECT_EQ(question, "noche.lim ya existe. ¿Desea reemplazarlo?");
    }
    EXPECT_FALSE(std::filesystem::exists(root / "nohay")) << "a missing folder is never created";
    unsetenv("QUELMAR_DRIVE_C");
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace ui::terminal
