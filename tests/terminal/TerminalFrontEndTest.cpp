#include "ui/terminal/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "FakeTerminal.h"
#include "scale/ControlIds.h"

namespace ui::terminal {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using testing::FakeTerminal;

Key Alt(char c) { return Key::Char(c, true); }
Key Enter() { return Key::Char(CHAR_RETURN); }
Key Escape() { return Key::Char(CHAR_ESCAPE); }
Key Tab() { return Key::Char(CHAR_TAB); }
Key BackTab() { return Key::Special(KEY_CODE_BACK_TAB); }
Key F(int n) { return Key::Special(KeyCodeF(n)); }

// The main window's events, written down; hooks play the logic's part.
class RecordingEvents final : public DialogEvents {
public:
    explicit RecordingEvents(TerminalFrontEnd*& window) : window_(window) {}
    std::vector<std::string> log;
    std::function<void()> onInit;
    std::function<void(int)> onCommand;
    std::function<void(int)> onTimer;

    void InitializeWindow() override {
        log.push_back("init");
        if (onInit) onInit();
    }
    void OnCommand(int id) override {
        log.push_back("command " + std::to_string(id));
        if (onCommand) onCommand(id);
    }
    void OnEditChange(int id) override {
        log.push_back("edit " + std::to_string(id) + " " + window_->GetControlText(id));
    }
    void OnTimer(int id) override {
        log.push_back("timer " + std::to_string(id));
        if (onTimer) onTimer(id);
    }
    bool OnSysCommand(int id) override {
        log.push_back("syscommand " + std::to_string(id));
        if ((id & 0xFFF0) != scale::SYSMENU_ABOUT_ID) return false;
        window_->RunAboutBox();
        return true;
    }
    void OnAccept() override {
        log.push_back("accept");
        window_->CloseModal(platform::ModalResult::Ok);
    }
    void OnCancel() override {
        log.push_back("cancel");
        window_->CloseModal(platform::ModalResult::Cancel);
    }
    void OnClose() override {
        log.push_back("close");
        window_->CloseModal(platform::ModalResult::Cancel);
    }

    int Count(const std::string& entry) const {
        int n = 0;
        for (const auto& e : log) n += e == entry;
        return n;
    }

private:
    TerminalFrontEnd*& window_;
};

class FakePanel final : public SimulatorPanel {
public:
    std::string StatusLine() const override { return "Balanza simulada: trabajando  F2 pesa patrón"; }
    bool HandleKey(int key) override {
        keys.push_back(key);
        return true;
    }
    std::vector<int> keys;
};

class FrontEndTest : public ::testing::Test {
protected:
    FrontEndTest() {
        auto fake = std::make_unique<FakeTerminal>(30, 80, now);
        terminal = fake.get();
        TerminalOptions options;
        options.applicationName = "quelmar";
        options.panel = &panel;
        options.clock = [this] { return now; };
        options.driveRoot = "/nonexistent";
        owned = std::make_unique<TerminalFrontEnd>(std::move(fake), std::move(options));
        window = owned.get();
        window->AppendSystemMenuItem(scale::SYSMENU_ABOUT_ID, "&Acerca de quelmar...");
    }

    platform::ModalResult Run() { return window->RunModal(events); }

    // What the screen showed at a moment of the run, taken by a hook.
    std::string Snapshot() const { return terminal->Screen(); }

    std::int64_t now = 0;
    FakePanel panel;
    FakeTerminal* terminal = nullptr;
    std::unique_ptr<TerminalFrontEnd> owned;
    TerminalFrontEnd* window = nullptr;
    RecordingEvents events{window};
};

// --- drawing ----------------------------------------------------------------

TEST_F(FrontEndTest, TheMainWindowShowsEveryTextOnceWithoutMnemonicMarks) {
    std::string screen;
    window->StartTimer(9, 50);
    events.onTimer = [&](int) { screen = Snapshot(); };
    terminal->KeyAt(60, Escape());
    Run();
    ASSERT_FALSE(screen.empty());
    for (const char* text : {"Quelmar", "[Salir]", "[Empezar Trabajo]", "[Detener Trabajo]", "[Calibración]",
                             "[Prueba]", "[Parar Prueba]", "[Guardar]", "[Cargar]", "[Reset]",
                             "[Guardar Estadistica]", "[Reempezar]", "Limites (gramos)", "Cantidades", "Peso (Kg)",
                             "Estadísticas", "Status", "Trabajo", "Peso Patrón (gramos)", "Gramos", "Cuentas",
                             "Linea 1", "Linea 8", "Totales", "Balanza simulada: trabajando"})
        EXPECT_NE(screen.find(text), std::string::npos) << text << "\n" << screen;
    EXPECT_EQ(screen.find('&'), std::string::npos) << screen;
}

TEST_F(FrontEndTest, MnemonicLettersAreUnderlinedAndDisabledButtonsDimmed) {
    std::string screen;
    window->StartTimer(9, 50);
    events.onTimer = [&](int) {
        int row = 0, col = 0;
        ASSERT_TRUE(terminal->Find("[Parar Prueba]", row, col));
        EXPECT_EQ(terminal->CellAt(row, col + 11), "b");
        EXPECT_TRUE(terminal->AttributesAt(row, col + 1) & ATTR_DIM);
        EXPECT_TRUE(terminal->AttributesAt(row, col + 11) & ATTR_DIM);
        ASSERT_TRUE(terminal->Find("[Calibración]", row, col));
        EXPECT_TRUE(terminal->AttributesAt(row, col + 1) & ATTR_UNDERLINE);   // "C"
        EXPECT_FALSE(terminal->AttributesAt(row, col + 2) & ATTR_UNDERLINE);  // "a"
        EXPECT_FALSE(terminal->AttributesAt(row, col + 1) & ATTR_DIM);
        ASSERT_TRUE(terminal->Find("[Salir]", row, col));
        EXPECT_TRUE(terminal->AttributesAt(row, col) & ATTR_REVERSE);  // it has the focus
        window->StopTimer(9);
        screen = Snapshot();
    };
    Run();
    EXPECT_FALSE(screen.empty());
}

TEST_F(FrontEndTest, TheWindowIsNotDrawnWhileItInitialises) {
    std::string during;
    events.onInit = [&] {
        window->ShowMessage("Dispositivo Encontrado y Configurado!", "Quelmar", MessageIcon::Information,
                            MessageButtons::Ok);
        during = Snapshot();
    };
    terminal->Key_(Enter());
    Run();
    EXPECT_EQ(during.find("[Salir]"), std::string::npos);
    EXPECT_NE(during.find("Dispositivo Encontrado y Configurado!"), std::string::npos);
}

TEST_F(FrontEndTest, ATooSmallTerminalAsksForMoreRoomAndIgnoresKeysButTheCloseKey) {
    terminal->Resize(24, 70);
    terminal->Key_(Alt('s'));
    terminal->Key_(Key::Char(CHAR_CTRL_Q));
    Run();
    EXPECT_TRUE(terminal->Shows("al menos 80 x 30"));
    EXPECT_TRUE(terminal->Shows("ahora 70 x 24"));
    EXPECT_EQ(events.log, (std::vector<std::string>{"init", "close"}));
}

// --- keys in the main window ------------------------------------------------

TEST_F(FrontEndTest, TabFollowsTheTabOrderSkippingDisabledButtons) {
    std::vector<int> focus;
    window->StartTimer(9, 10);
    events.onTimer = [&](int) { focus.push_back(window->FocusedControl()); };
    // One key every 10 ms, each followed by a tick that notes the focus.
    const Key keys[] = {Tab(), Tab(), BackTab(), BackTab(), BackTab(), BackTab()};
    for (int i = 0; i < 6; ++i) terminal->KeyAt(5 + 10 * i, keys[i]);
    terminal->KeyAt(65, Escape());
    Run();
    // "&Empezar Trabajo" and "&Detener Trabajo" are disabled; from "&Salir"
    // back round to the last tab stop, the reference weight, then the
    // disabled "Reempe&zar" is skipped too.
    const std::vector<int> expected = {scale::IDC_CALIBRATE,        scale::IDC_START_TEST, scale::IDC_CALIBRATE,
                                       scale::IDC_EXIT,             scale::IDC_REFERENCE_WEIGHT,
                                       scale::IDC_SAVE_STATISTICS};
    EXPECT_EQ(focus, expected);
}

TEST_F(FrontEndTest, ButtonsArePressedByMnemonicEnterSpaceAndClickButNotWhenDisabled) {
    terminal->Key_(Alt('s'));        // "&Salir"
    terminal->Key_(Alt('E'));        // "&Empezar Trabajo": disabled
    terminal->Key_(Key::Char('p'));  // focus on a button: a plain letter is a mnemonic
    terminal->Key_(Enter());         // on the focused "&Prueba"
    terminal->Key_(Key::Char(' '));
    const std::size_t load = static_cast<std::size_t>(
        FindControl(MainDialogTemplate(), scale::IDC_LOAD_LIMITS) - MainDialogTemplate().controls.data());
    const CellRect& cell = window->Layout().cells[load];
    terminal->Key_(Key::Click(cell.row + DIALOG_FIRST_ROW, cell.col + cell.cols / 2));  // "C&argar"
    events.onCommand = [&](int id) {
        if (id == scale::IDC_LOAD_LIMITS) window->EnableControl(scale::IDC_START_WORK, true);
    };
    terminal->Key_(Alt('e'));
    terminal->Key_(Escape());
    Run();
    EXPECT_EQ(events.log, (std::vector<std::string>{"init", "command 1000", "command 1040", "command 1040",
                                                    "command 1040", "command 1037", "command 1002", "cancel"}));
}

TEST_F(FrontEndTest, EnterAcceptsEscapeCancelsCtrlQClosesAndF10OpensTheSystemMenu) {
    terminal->Key_(BackTab());  // the reference weight field
    terminal->Key_(Enter());
    EXPECT_EQ(Run(), platform::ModalResult::Ok);
    terminal->Key_(Key::Char(CHAR_CTRL_Q));
    EXPECT_EQ(Run(), platform::ModalResult::Cancel);
    terminal->Key_(F(10));
    terminal->Key_(Enter());  // the first item: "Cerrar"
    Run();
    EXPECT_EQ(events.log, (std::vector<std::string>{"init", "accept", "init", "close", "init", "close"}));
}

TEST_F(FrontEndTest, OnlyTheOperatorsEditsAreReportedAsChanges) {
    events.onInit = [&] {
        window->SetControlText(scale::IDC_REFERENCE_WEIGHT, "190");
        window->SetControlText(scale::IDC_LIMIT_1, "0");
    };
    terminal->Key_(BackTab());          // into 1050, its text selected
    terminal->Type("1x0");              // "x" is not taken
    terminal->Key_(Key::Special(KEY_CODE_HOME));
    terminal->Key_(Key::Special(KEY_CODE_DELETE));
    terminal->Key_(Key::Special(KEY_CODE_BACKSPACE));  // nothing before the cursor
    terminal->Key_(Escape());
    Run();
    EXPECT_EQ(events.log, (std::vector<std::string>{"init", "edit 1050 1", "edit 1050 10", "edit 1050 0", "cancel"}));
    EXPECT_EQ(window->GetControlText(scale::IDC_REFERENCE_WEIGHT), "0");
    EXPECT_EQ(panel.keys, std::vector<int>{'x'});  // unused keys go to the simulated scale
}

TEST_F(FrontEndTest, AFocusedButtonThatIsDisabledHandsTheFocusOn) {
    events.onInit = [&] { window->FocusControl(scale::IDC_START_TEST); };
    events.onCommand = [&](int id) {
        if (id != scale::IDC_START_TEST) return;
        window->EnableControl(scale::IDC_STOP_TEST, true);
        window->EnableControl(scale::IDC_START_TEST, false);
    };
    terminal->Key_(Enter());
    terminal->Key_(Enter());
    terminal->Key_(Escape());
    Run();
    EXPECT_EQ(window->FocusedControl(), scale::IDC_STOP_TEST);
    EXPECT_EQ(events.log, (std::vector<std::string>{"init", "command 1040", "command 1041", "cancel"}));
}

TEST_F(FrontEndTest, UnusedKeysGoToTheSimulatedScale) {
    terminal->Key_(F(2));
    terminal->Key_(F(4));
    terminal->Key_(Escape());
    Run();
    EXPECT_EQ(panel.keys, (std::vector<int>{KeyCodeF(2), KeyCodeF(4)}));
}

TEST_F(FrontEndTest, TheSimulatedScaleTakesItsKeysWhileAMessageBoxWaits) {
    // A calibration asks for the reference weight in a message box: the
    // operator must be able to put it on (F2) before answering.
    MessageResult answer = MessageResult::Cancel;
    events.onInit = [&] {
        answer = window->ShowMessage("Ponga el peso patron sobre la balanza", "Calibracion de Balanza",
                                     MessageIcon::Exclamation, MessageButtons::OkCancel);
    };
    terminal->Key_(F(2));
    terminal->Key_(Enter());
    terminal->Key_(Escape());
    Run();
    EXPECT_EQ(panel.keys, std::vector<int>{KeyCodeF(2)});
    EXPECT_EQ(answer, MessageResult::Ok);
}

// --- system menu and About box ------------------------------------------------

TEST_F(FrontEndTest, TheSystemMenuEndsWithASeparatorAndTheAboutItem) {
    std::string menu, about;
    events.onInit = [&] {};
    window->StartTimer(9, 10);
    terminal->KeyAt(5, F(10));
    terminal->KeyAt(30, Key::Char('a'));  // the item's mnemonic
    terminal->KeyAt(60, Enter());         // "Aceptar"
    terminal->KeyAt(70, Escape());
    events.onTimer = [&](int) {
        if (now == 20) menu = Snapshot();
        if (now == 50) about = Snapshot();
    };
    Run();
    EXPECT_NE(menu.find("Cerrar"), std::string::npos) << menu;
    EXPECT_NE(menu.find("Acerca de quelmar..."), std::string::npos) << menu;
    EXPECT_NE(menu.find("├"), std::string::npos) << menu;
    EXPECT_LT(menu.find("Cerrar"), menu.find("├"));
    EXPECT_LT(menu.find("├"), menu.find("Acerca de quelmar..."));
    EXPECT_NE(about.find("Acerca de Quelmar"), std::string::npos) << about;
    EXPECT_NE(about.find("Quelmar Versión 1.0"), std::string::npos) << about;
    EXPECT_NE(about.find("[Aceptar]"), std::string::npos) << about;
    // Ticks went on behind the menu and the About box.
    EXPECT_GE(events.Count("timer 9"), 6);
    const auto sys = std::find(events.log.begin(), events.log.end(), "syscommand 16");
    EXPECT_NE(sys, events.log.end());
    EXPECT_EQ(events.log.back(), "cancel");
}

// --- message boxes ------------------------------------------------------------

TEST_F(FrontEndTest, MessageBoxesAnswerLikeWindowsOnes) {
    std::vector<MessageResult> answers;
    std::string shown;
    events.onInit = [&] {
        answers.push_back(window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation,
                                              MessageButtons::OkCancel));  // Enter: OK
        answers.push_back(window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation,
                                              MessageButtons::OkCancel));  // Escape: Cancel
        answers.push_back(window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation,
                                              MessageButtons::OkCancel));  // Tab, Enter: Cancel
        answers.push_back(window->ShowMessage("Error en limites", "", MessageIcon::Stop,
                                              MessageButtons::Ok));  // Escape: OK alone
    };
    terminal->Key_(Enter());
    terminal->Key_(Escape());
    terminal->Key_(Tab());
    terminal->Key_(Enter());
    window->StartTimer(9, 1000);
    terminal->KeyAt(2000, Escape());
    events.onTimer = [&](int) {
        if (shown.empty()) shown = Snapshot();
    };
    terminal->KeyAt(2001, Escape());
    Run();
    EXPECT_EQ(answers, (std::vector<MessageResult>{MessageResult::Ok, MessageResult::Cancel, MessageResult::Cancel,
                                                   MessageResult::Ok}));
    // A box without a caption of its own bears the program's name.
    EXPECT_NE(shown.find(" quelmar "), std::string::npos) << shown;
    EXPECT_NE(shown.find("(x)"), std::string::npos);
    EXPECT_NE(shown.find("[Aceptar]"), std::string::npos);
    EXPECT_EQ(shown.find("[Cancelar]"), std::string::npos);
}

TEST_F(FrontEndTest, LongMessagesAreWrappedInsideTheBox) {
    std::string shown;
    const std::string text =
        "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes de "
        "empezar";
    events.onInit = [&] {
        window->StartTimer(9, 10);
        window->ShowMessage(text, "Configuración", MessageIcon::Stop, MessageButtons::Ok);
        window->StopTimer(9);
    };
    events.onTimer = [&](int) { shown = Snapshot(); };
    terminal->KeyAt(100, Enter());
    terminal->KeyAt(101, Escape());
    Run();
    EXPECT_NE(shown.find("Configuración"), std::string::npos);
    EXPECT_NE(shown.find("No se encontro el archivo de configuracion,"), std::string::npos) << shown;
    EXPECT_NE(shown.find("calibrar la balanza y cargar los limites antes de"), std::string::npos) << shown;
    EXPECT_NE(shown.find("│       empezar "), std::string::npos) << shown;
}

// --- timers -------------------------------------------------------------------

TEST_F(FrontEndTest, TicksGoOnWhileAMessageBoxIsOpenAndNeverInsideATick) {
    int depth = 0, deepest = 0;
    std::vector<std::int64_t> ticks;
    events.onCommand = [&](int id) {
        if (id == scale::IDC_START_WORK) window->StartTimer(scale::TIMER_WORK, 100);
        if (id == scale::IDC_RESET)
            window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation, MessageButtons::OkCancel);
    };
    events.onTimer = [&](int) {
        ++depth;
        deepest = std::max(deepest, depth);
        ticks.push_back(now);
        // The fifth tick finds a failure and says so in a box.
        if (ticks.size() == 5)
            window->ShowMessage("No pudo enviarse el comando", "Quelmar", MessageIcon::Stop, MessageButtons::Ok);
        --depth;
    };
    window->EnableControl(scale::IDC_START_WORK, true);
    terminal->KeyAt(0, Alt('e'));       // work starts: ticks every 100 ms
    terminal->KeyAt(1500, Enter());     // answers the tick's box, open since 500
    terminal->KeyAt(2050, Alt('r'));    // the reset's confirmation...
    terminal->KeyAt(3050, Escape());    // ...stays open one second
    terminal->KeyAt(3060, Escape());    // ends the window
    Run();
    EXPECT_EQ(deepest, 1);
    auto between = [&](std::int64_t from, std::int64_t to) {
        return std::count_if(ticks.begin(), ticks.end(), [&](std::int64_t t) { return t > from && t < to; });
    };
    EXPECT_EQ(between(0, 501), 5);
    EXPECT_EQ(between(501, 1500), 0);    // inside a tick: dropped
    EXPECT_EQ(between(2050, 3050), 10);  // behind the confirmation: delivered
    EXPECT_EQ(between(3060, 1 << 30), 0);
    EXPECT_FALSE(window->IsTimerRunning(scale::TIMER_WORK));  // ended with the window
}

TEST_F(FrontEndTest, TicksGoOnWhileTheFileDialogIsOpen) {
    events.onCommand = [&](int) {
        platform::FileDialogSettings settings;
        settings.kind = platform::FileDialogKind::Open;
        settings.initialFolder = "C:\\velsor\\";
        settings.filters = {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}};
        EXPECT_FALSE(window->ChooseFile(settings).has_value());
    };
    window->StartTimer(scale::TIMER_TEST, 100);
    terminal->KeyAt(0, Alt('a'));      // "C&argar"
    terminal->KeyAt(1050, Escape());   // cancels the dialog
    terminal->KeyAt(1060, Escape());
    Run();
    EXPECT_EQ(events.Count("timer 1"), 10);
}

// --- the file dialog ----------------------------------------------------------

class FileDialogTest : public FrontEndTest {
protected:
    FileDialogTest() {
        root = std::filesystem::temp_directory_path() / ("quelmar_drive_" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "velsor");
        for (const char* name : {"turno.lim", "noche.lim", "informe.est"}) std::ofstream(root / "velsor" / name) << "x";
        setenv("QUELMAR_DRIVE_C", root.c_str(), 1);
    }
    ~FileDialogTest() override {
        unsetenv("QUELMAR_DRIVE_C");
        std::filesystem::remove_all(root);
    }

    // Runs one dialog from a press of "C&argar", then the keys the script
    // gives, and keeps its answer and views of the screen at the first ticks.
    void RunDialog(platform::FileDialogKind kind, const std::function<void()>& script) {
        events.onCommand = [this, kind](int) {
            platform::FileDialogSettings settings;
            settings.kind = kind;
            settings.initialFolder = folder;
            settings.filters = {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}};
            settings.defaultExtension = ".lim";
            window->StartTimer(9, 10);
            answer = window->ChooseFile(settings);
            window->StopTimer(9);
        };
        events.onTimer = [this](int) {
            if (screens.size() < 100) screens.push_back(Snapshot());
        };
        terminal->Key_(Alt('a'));
        script();
        Run();
    }

    std::filesystem::path root;
    std::string folder = "C:\\velsor\\";
    std::optional<std::string> answer;
    std::vector<std::string> screens;

    bool AnyScreenShows(std::string_view text) const {
        for (const auto& screen : screens)
            if (screen.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(FileDialogTest, OpenListsTheFirstFiltersFilesAndReturnsTheProgramsPath) {
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(100, Key::Char('t'));
        terminal->Type("urno");
        terminal->KeyAt(200, Enter());
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "C:\\velsor\\turno.lim");  // default extension added
    ASSERT_FALSE(screens.empty());
    EXPECT_NE(screens[0].find("noche.lim"), std::string::npos) << screens[0];
    EXPECT_NE(screens[0].find("turno.lim"), std::string::npos);
    EXPECT_EQ(screens[0].find("informe.est"), std::string::npos);
    EXPECT_NE(screens[0].find("Archivos Límites USB(*.lim)"), std::string::npos);
}

TEST_F(FileDialogTest, TheSecondFilterShowsEveryFileAndTheListFillsTheName) {
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(40, Alt('t'));
        terminal->KeyAt(60, Key::Char(' '));      // "Todos los archivos(*.*)"
        terminal->KeyAt(100, Alt('l'));
        terminal->KeyAt(120, Key::Special(KEY_CODE_DOWN));  // the first: informe.est
        terminal->KeyAt(180, Enter());
    });
    ASSERT_FALSE(screens.empty());
    EXPECT_EQ(screens.front().find("informe.est"), std::string::npos) << screens.front();
    EXPECT_TRUE(AnyScreenShows("informe.est"));
    EXPECT_TRUE(AnyScreenShows("< Todos los archivos(*.*) >"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "C:\\velsor\\informe.est");
}

TEST_F(FileDialogTest, SavingOverAFileAsksFirstAndCancelKeepsTheDialogOpen) {
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->KeyAt(40, Key::Char('n'));
        terminal->Type("oche");
        terminal->KeyAt(60, Enter());   // exists: the question
        terminal->KeyAt(100, Escape());  // Cancel: back in the dialog
        terminal->KeyAt(140, Enter());   // asked again
        terminal->KeyAt(180, Enter());   // OK
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "C:\\velsor\\noche.lim");
    EXPECT_TRUE(AnyScreenShows("noche.lim ya existe. ¿Desea reemplazarlo?"));
}

TEST_F(FileDialogTest, SavingANewNameAsksNothingAndEscapeCancels) {
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->Type("nuevo");
        terminal->Key_(Enter());
    });
    EXPECT_EQ(answer, std::optional<std::string>("C:\\velsor\\nuevo.lim"));
    EXPECT_FALSE(std::filesystem::exists(root / "velsor" / "nuevo.lim"));  // the caller writes it

    screens.clear();
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->Type("otro");
        terminal->Key_(Escape());
    });
    EXPECT_FALSE(answer.has_value());
}

TEST_F(FileDialogTest, OpeningAMissingFileSaysSoAndAMissingFolderIsNeverCreated) {
    folder = "C:\\nohay\\";
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(40, Key::Char('x'));
        terminal->KeyAt(60, Enter());   // no such file
        terminal->KeyAt(100, Enter());   // OK on the message
        terminal->KeyAt(140, Escape());  // gives up
    });
    EXPECT_FALSE(answer.has_value());
    ASSERT_FALSE(screens.empty());
    EXPECT_NE(screens.front().find("(ningún archivo)"), std::string::npos) << screens.front();
    EXPECT_TRUE(AnyScreenShows("x.lim"));
    EXPECT_TRUE(AnyScreenShows("No se encontró el archivo"));
    EXPECT_FALSE(std::filesystem::exists(root / "nohay"));
}

}  // namespace
}  // namespace ui::terminal
