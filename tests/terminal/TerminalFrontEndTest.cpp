#include "ui/terminal/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "FakeTerminal.h"
#include "platform/ControlIds.h"

namespace ui::terminal {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using testing::FakeTerminal;

Key Alt(char c) { return Key::Char(c, true); }
const Key ENTER = Key::Char(CHAR_RETURN), ESCAPE = Key::Char(CHAR_ESCAPE), TAB = Key::Char(CHAR_TAB),
          BACK_TAB = Key::Special(KEY_CODE_BACK_TAB), CTRL_Q = Key::Char(CHAR_CTRL_Q);
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
    void OnEditChange(int id) override { log.push_back("edit " + std::to_string(id) + " " + window_->GetControlText(id)); }
    void OnTimer(int id) override {
        log.push_back("timer " + std::to_string(id));
        if (onTimer) onTimer(id);
    }
    bool OnSysCommand(int id) override {
        log.push_back("syscommand " + std::to_string(id));
        if ((id & 0xFFF0) != platform::SYSMENU_ABOUT_ID) return false;
        window_->RunAboutBox();
        return true;
    }
    void OnAccept() override { End("accept", platform::ModalResult::Ok); }
    void OnCancel() override { End("cancel", platform::ModalResult::Cancel); }
    void OnClose() override { End("close", platform::ModalResult::Cancel); }

private:
    void End(const char* what, platform::ModalResult result) {
        log.push_back(what);
        window_->CloseModal(result);
    }
    TerminalFrontEnd*& window_;
};

class FakePanel final : public SimulatorPanel {
public:
    std::string StatusLine() const override { return state + "   F2 peso patrón  F3 pausa  F4 desconectar"; }
    std::string state = "Balanza simulada: Trabajando, 12 piezas, sin peso patrón";
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
        owned = std::make_unique<TerminalFrontEnd>(std::move(fake), std::move(options));
        window = owned.get();
        window->AppendSystemMenuItem(platform::SYSMENU_ABOUT_ID, "&Acerca de quelmar...");
    }

    platform::ModalResult Run() { return window->RunModal(events); }
    // Runs `look` at the first tick of timer 9 from `atMs` on, then Escape.
    void During(std::int64_t atMs, const std::function<void()>& look) {
        bool looked = false;
        window->StartTimer(9, 10);
        events.onTimer = [&, atMs](int) {
            if (looked || now < atMs) return;
            looked = true;
            look();
        };
        terminal->KeyAt(atMs + 20, ESCAPE);
        Run();
        EXPECT_TRUE(looked);
    }
    std::vector<std::string> Log(std::initializer_list<const char*> entries) { return {entries.begin(), entries.end()}; }

    std::int64_t now = 0;
    FakePanel panel;
    FakeTerminal* terminal = nullptr;
    std::unique_ptr<TerminalFrontEnd> owned;
    TerminalFrontEnd* window = nullptr;
    RecordingEvents events{window};
};

// --- drawing ----------------------------------------------------------------

TEST_F(FrontEndTest, TheMainWindowShowsEveryTextOnceWithoutMnemonicMarksInTheSmallestTerminalAndALargerOne) {
    for (const int rows : {24, 30}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        terminal->Resize(rows, 80);
        std::string screen;
        During(now + 50, [&] { screen = terminal->Screen(); });
        for (const char* text : {"Quelmar", "[Salir]", "[Empezar Trabajo]", "[Detener Trabajo]", "[Calibración]",
                                 "[Prueba]", "[Parar Prueba]", "[Guardar]", "[Cargar]", "[Reset]",
                                 "[Guardar Estadistica]", "[Reempezar]", "Limites (gramos)", "Cantidades",
                                 "Peso (Kg)", "Estadísticas", "Status", "Trabajo", "Peso Patrón (gramos)", "Gramos",
                                 "Cuentas", "Linea 1", "Linea 8", "Totales"})
            EXPECT_NE(screen.find(text), std::string::npos) << text << "\n" << screen;
        EXPECT_EQ(screen.find('&'), std::string::npos) << screen;
        // Below the window: the simulated scale's state and its keys, each
        // whole on a row of its own, and only keys that act here.
        const auto row = [&](int fromBottom) {
            std::size_t begin = screen.size() - 1;
            for (int i = 0; i <= fromBottom; ++i) begin = screen.rfind('\n', begin - 1);
            return screen.substr(begin + 1, screen.find('\n', begin + 1) - begin - 1);
        };
        EXPECT_EQ(row(2).find(panel.state), 0u) << screen;
        EXPECT_EQ(row(1).find("F2 peso patrón  F3 pausa  F4 desconectar"), 0u) << screen;
        EXPECT_EQ(row(0).find(KEY_HELP), 0u) << screen;
        for (const char* gone : {"Enter", "Esc"}) EXPECT_EQ(screen.find(gone), std::string::npos) << screen;
    }
    panel.state = "Balanza simulada: lista";  // both fit one row, spacing kept
    During(now + 50, [] {});
    EXPECT_TRUE(terminal->Shows("Balanza simulada: lista   F2 peso patrón  F3 pausa  F4 desconectar"));
}

TEST_F(FrontEndTest, MnemonicLettersAreUnderlinedDisabledButtonsDimmedAndTheFocusShown) {
    During(0, [&] {
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
        EXPECT_TRUE(terminal->AttributesAt(row, col) & ATTR_REVERSE);
    });
}

TEST_F(FrontEndTest, TheWindowIsNotDrawnWhileItInitialises) {
    std::string during;
    events.onInit = [&] {
        static_cast<void>(window->ShowMessage("Dispositivo Encontrado y Configurado!", "Quelmar", MessageIcon::Information,
                            MessageButtons::Ok));
        during = terminal->Screen();
    };
    terminal->Key_(ENTER);
    Run();
    EXPECT_EQ(during.find("[Salir]"), std::string::npos);
    EXPECT_NE(during.find("Dispositivo Encontrado y Configurado!"), std::string::npos);
}

TEST_F(FrontEndTest, ATooSmallTerminalAsksForMoreRoomAndIgnoresKeysButTheCloseKey) {
    for (const auto& [rows, columns, size] : {std::tuple{24, 79, "ahora 79 x 24"}, std::tuple{23, 80, "ahora 80 x 23"}}) {
        terminal->Resize(rows, columns);
        terminal->Key_(Alt('s'));
        terminal->Key_(CTRL_Q);
        Run();
        EXPECT_TRUE(terminal->Shows("al menos 80 x 24")) << terminal->Screen();
        EXPECT_TRUE(terminal->Shows(size)) << terminal->Screen();
    }
    EXPECT_EQ(events.log, Log({"init", "close", "init", "close"}));
}

// --- keys in the main window ------------------------------------------------

TEST_F(FrontEndTest, TabFollowsTheTabOrderSkippingDisabledButtons) {
    std::vector<int> focus;
    window->StartTimer(9, 10);
    events.onTimer = [&](int) { focus.push_back(window->FocusedControl()); };
    // One key every 10 ms, each followed by a tick that notes the focus.
    const Key keys[] = {TAB, TAB, BACK_TAB, BACK_TAB, BACK_TAB, BACK_TAB};
    for (int i = 0; i < 6; ++i) terminal->KeyAt(5 + 10 * i, keys[i]);
    terminal->KeyAt(65, ESCAPE);
    Run();
    // The two work buttons are disabled; from "&Salir" back round to the
    // reference weight, then the disabled "Reempe&zar" is skipped too.
    EXPECT_EQ(focus, (std::vector<int>{platform::IDC_CALIBRATE, platform::IDC_START_TEST, platform::IDC_CALIBRATE,
                                       platform::IDC_EXIT, platform::IDC_REFERENCE_WEIGHT, platform::IDC_SAVE_STATISTICS}));
}

TEST_F(FrontEndTest, ButtonsArePressedByMnemonicEnterSpaceAndClickButNotWhenDisabled) {
    terminal->Key_(Alt('s'));        // "&Salir"
    terminal->Key_(Alt('E'));        // "&Empezar Trabajo": disabled
    terminal->Key_(Key::Char('p'));  // focus on a button: a plain letter is a mnemonic
    terminal->Key_(ENTER);           // on the focused "&Prueba"
    terminal->Key_(Key::Char(' '));
    const CellRect& cell = window->Layout().cells[static_cast<std::size_t>(
        FindControl(MainDialogTemplate(), platform::IDC_LOAD_LIMITS) - MainDialogTemplate().controls.data())];
    terminal->Key_(Key::Click(cell.row + DIALOG_FIRST_ROW, cell.col + cell.cols / 2));  // "C&argar"
    events.onCommand = [&](int id) {
        if (id == platform::IDC_LOAD_LIMITS) window->EnableControl(platform::IDC_START_WORK, true);
    };
    terminal->Key_(Alt('e'));
    terminal->Key_(ESCAPE);
    Run();
    EXPECT_EQ(events.log, Log({"init", "command 1000", "command 1040", "command 1040", "command 1040",
                               "command 1037", "command 1002", "cancel"}));
}

TEST_F(FrontEndTest, EnterAcceptsEscapeCancelsCtrlQClosesAndF10OpensTheSystemMenu) {
    terminal->Key_(BACK_TAB);  // the reference weight field
    terminal->Key_(ENTER);
    EXPECT_EQ(Run(), platform::ModalResult::Ok);
    terminal->Key_(CTRL_Q);
    EXPECT_EQ(Run(), platform::ModalResult::Cancel);
    terminal->Key_(F(10));
    terminal->Key_(ENTER);  // the first item: "Cerrar"
    Run();
    EXPECT_EQ(events.log, Log({"init", "accept", "init", "close", "init", "close"}));
}

TEST_F(FrontEndTest, OnlyTheOperatorsEditsAreReportedAndUnusedKeysGoToTheSimulatedScale) {
    events.onInit = [&] {
        window->SetControlText(platform::IDC_REFERENCE_WEIGHT, "190");
        window->SetControlText(platform::IDC_LIMIT_1, "0");
    };
    terminal->Key_(BACK_TAB);  // into 1050, its text selected
    terminal->Type("1x0");     // "x" is not taken
    terminal->Key_(Key::Special(KEY_CODE_HOME));
    terminal->Key_(Key::Special(KEY_CODE_DELETE));
    terminal->Key_(Key::Special(KEY_CODE_BACKSPACE));  // nothing before the cursor
    terminal->Key_(F(4));
    terminal->Key_(ESCAPE);
    Run();
    EXPECT_EQ(events.log, Log({"init", "edit 1050 1", "edit 1050 10", "edit 1050 0", "cancel"}));
    EXPECT_EQ(window->GetControlText(platform::IDC_REFERENCE_WEIGHT), "0");
    EXPECT_EQ(panel.keys, (std::vector<int>{'x', KeyCodeF(4)}));
}

TEST(FrontEndFocusTest, AButtonThatDisablesItselfHandsTheFocusToTheNextControlWithoutSelectingItsText) {
    // Each mode button's own steps, in the order its operation takes them
    // (a negative id disables), from the mode in which it is pressed.
    struct Case {
        const char* button;
        int pressed;
        std::vector<int> enabledBefore;
        std::vector<int> steps;
        int focusAfter;
    };
    const Case cases[] = {
        {"&Prueba", platform::IDC_START_TEST, {platform::IDC_START_WORK}, {platform::IDC_STOP_TEST, -platform::IDC_START_TEST, -platform::IDC_CALIBRATE, -platform::IDC_START_WORK},
         platform::IDC_STOP_TEST},
        {"Parar Prue&ba", platform::IDC_STOP_TEST, {platform::IDC_STOP_TEST, -platform::IDC_START_TEST, -platform::IDC_CALIBRATE},
         {-platform::IDC_STOP_TEST, platform::IDC_START_TEST, platform::IDC_CALIBRATE, platform::IDC_START_WORK}, platform::IDC_LIMIT_1},
        {"&Empezar Trabajo", platform::IDC_START_WORK, {platform::IDC_START_WORK},
         {-platform::IDC_CALIBRATE, -platform::IDC_START_TEST, platform::IDC_STOP_WORK, -platform::IDC_START_WORK, platform::IDC_RESTART}, platform::IDC_STOP_WORK},
        {"&Detener Trabajo", platform::IDC_STOP_WORK, {platform::IDC_STOP_WORK, platform::IDC_RESTART, -platform::IDC_CALIBRATE, -platform::IDC_START_TEST},
         {platform::IDC_CALIBRATE, platform::IDC_START_TEST, -platform::IDC_STOP_WORK, platform::IDC_START_WORK, -platform::IDC_RESTART}, platform::IDC_CALIBRATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        std::int64_t now = 0;
        auto fake = std::make_unique<FakeTerminal>(30, 80, now);
        FakeTerminal& terminal = *fake;
        TerminalOptions options;
        options.clock = [&now] { return now; };
        TerminalFrontEnd window(std::move(fake), std::move(options));
        TerminalFrontEnd* pointer = &window;
        RecordingEvents events(pointer);
        const auto apply = [&](const std::vector<int>& steps) {
            for (const int step : steps) window.EnableControl(std::abs(step), step > 0);
        };
        events.onInit = [&] {
            window.SetControlText(platform::IDC_LIMIT_1, "100");
            apply(c.enabledBefore);
            window.FocusControl(c.pressed);
        };
        events.onCommand = [&](int) { apply(c.steps); };
        terminal.Key_(ENTER);
        terminal.Type("5");  // a digit right after the press
        terminal.Key_(ESCAPE);
        static_cast<void>(window.RunModal(events));
        EXPECT_EQ(window.FocusedControl(), c.focusAfter);
        EXPECT_EQ(window.GetControlText(platform::IDC_LIMIT_1), c.focusAfter == platform::IDC_LIMIT_1 ? "1005" : "100")
            << "the limit is not replaced";
    }
}

TEST_F(FrontEndTest, TheSimulatedScaleTakesItsKeysWhileAMessageBoxWaits) {
    // Calibration asks for the reference weight in a box: the operator puts
    // it on (F2) before answering.
    MessageResult answer = MessageResult::Cancel;
    events.onInit = [&] {
        answer = window->ShowMessage("Ponga el peso patron sobre la balanza", "Calibracion de Balanza",
                                     MessageIcon::Exclamation, MessageButtons::OkCancel);
    };
    terminal->Key_(F(2));
    terminal->Key_(ENTER);
    terminal->Key_(ESCAPE);
    Run();
    EXPECT_EQ(panel.keys, std::vector<int>{KeyCodeF(2)});
    EXPECT_EQ(answer, MessageResult::Ok);
}

// --- system menu, About box, message boxes ------------------------------------

TEST_F(FrontEndTest, TheSystemMenuEndsWithASeparatorAndTheAboutItem) {
    std::string menu, about;
    window->StartTimer(9, 10);
    terminal->KeyAt(5, F(10));
    terminal->KeyAt(30, Key::Char('a'));  // the item's mnemonic
    terminal->KeyAt(60, ENTER);           // "Aceptar"
    terminal->KeyAt(70, ESCAPE);
    events.onTimer = [&](int) {
        if (now == 20) menu = terminal->Screen();
        if (now == 50) about = terminal->Screen();
    };
    Run();
    EXPECT_LT(menu.find("Cerrar"), menu.find("├")) << menu;
    EXPECT_LT(menu.find("├"), menu.find("Acerca de quelmar...")) << menu;
    EXPECT_NE(menu.find("Acerca de quelmar..."), std::string::npos) << menu;
    for (const char* text : {"Acerca de Quelmar", "Quelmar Versión 1.0", "[Aceptar]"})
        EXPECT_NE(about.find(text), std::string::npos) << about;
    EXPECT_GE(std::count(events.log.begin(), events.log.end(), "timer 9"), 6) << "ticks go on behind both";
    EXPECT_NE(std::find(events.log.begin(), events.log.end(), "syscommand 16"), events.log.end());
}

TEST_F(FrontEndTest, MessageBoxesAnswerLikeWindowsOnesAndWrapLongTexts) {
    std::vector<MessageResult> answers;
    std::string plain, wrapped;
    const auto ask = [&] {
        answers.push_back(
            window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation, MessageButtons::OkCancel));
    };
    events.onInit = [&] {
        ask();  // Enter: OK
        ask();  // Escape: Cancel
        ask();  // Tab, Enter: Cancel
        window->StartTimer(9, 1000);
        answers.push_back(window->ShowMessage("Error en limites", "", MessageIcon::Stop, MessageButtons::Ok));
        static_cast<void>(window->ShowMessage(
            "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes de "
            "empezar",
            "Configuración", MessageIcon::Stop, MessageButtons::Ok));
        window->StopTimer(9);
    };
    events.onTimer = [&](int) { (plain.empty() ? plain : wrapped) = terminal->Screen(); };
    for (const Key& key : {ENTER, ESCAPE, TAB, ENTER}) terminal->Key_(key);
    terminal->KeyAt(1500, ESCAPE);  // OK alone: Escape is OK
    terminal->KeyAt(2500, ENTER);
    terminal->KeyAt(2501, ESCAPE);
    Run();
    EXPECT_EQ(answers, (std::vector<MessageResult>{MessageResult::Ok, MessageResult::Cancel, MessageResult::Cancel,
                                                   MessageResult::Ok}));
    // A box without a caption of its own bears the program's name.
    for (const char* text : {" quelmar ", "(x)", "[Aceptar]"}) EXPECT_NE(plain.find(text), std::string::npos) << plain;
    EXPECT_EQ(plain.find("[Cancelar]"), std::string::npos);
    for (const char* text : {"No se encontro el archivo de configuracion,",
                             "calibrar la balanza y cargar los limites antes de", "│       empezar "})
        EXPECT_NE(wrapped.find(text), std::string::npos) << wrapped;
}

// --- timers -------------------------------------------------------------------

TEST_F(FrontEndTest, TicksGoOnWhileAMessageBoxIsOpen) {
    int depth = 0, deepest = 0;
    std::vector<std::int64_t> ticks;
    events.onCommand = [&](int id) {
        if (id == platform::IDC_START_WORK) window->StartTimer(platform::TIMER_WORK, 100);
        if (id == platform::IDC_RESET)
            static_cast<void>(
                window->ShowMessage("¿Desea borrar?", "Reset", MessageIcon::Exclamation, MessageButtons::OkCancel));
    };
    events.onTimer = [&](int) {
        deepest = std::max(deepest, ++depth);
        ticks.push_back(now);
        // The fifth tick finds a failure and says so in a box.
        if (ticks.size() == 5)
            static_cast<void>(
                window->ShowMessage("No pudo enviarse el comando", "Quelmar", MessageIcon::Stop, MessageButtons::Ok));
        --depth;
    };
    window->EnableControl(platform::IDC_START_WORK, true);
    terminal->KeyAt(0, Alt('e'));     // work starts: ticks every 100 ms
    terminal->KeyAt(1500, ENTER);     // answers the tick's box, open since 500
    terminal->KeyAt(2050, Alt('r'));  // the reset's confirmation...
    terminal->KeyAt(3050, ESCAPE);    // ...stays open one second
    terminal->KeyAt(3060, ESCAPE);    // ends the window
    Run();
    EXPECT_EQ(deepest, 2) << "the dialog drops a tick inside a tick, not the front-end";
    const auto between = [&](std::int64_t from, std::int64_t to) {
        return std::count_if(ticks.begin(), ticks.end(), [&](std::int64_t t) { return t > from && t < to; });
    };
    EXPECT_EQ(between(0, 501), 5);
    EXPECT_EQ(between(2050, 3050), 10);  // behind the confirmation: delivered
    EXPECT_EQ(between(3060, 1 << 30), 0);
    EXPECT_FALSE(window->IsTimerRunning(platform::TIMER_WORK)) << "ended with the window";
}

TEST_F(FrontEndTest, ATextWrittenAgainUnchangedKeepsTheCursorAndDrawsNothing) {
    // The window refreshes every field on each tick; only a change is drawn.
    std::vector<int> flushes;
    std::string state = "Trabajando";
    events.onInit = [&] {
        window->SetControlText(platform::IDC_LIMIT_1, "100");
        window->FocusControl(platform::IDC_LIMIT_1);  // its text selected
        window->StartTimer(9, 10);
    };
    events.onTimer = [&](int) {
        window->SetControlText(platform::IDC_LIMIT_1, "100");
        window->SetControlText(platform::IDC_STATE, state);
        flushes.push_back(terminal->flushes);
        if (flushes.size() == 8) state = "Esperando sincronismo...";
        if (flushes.size() >= 10) state = std::to_string(flushes.size());
    };
    terminal->KeyAt(15, Key::Special(KEY_CODE_HOME));  // cursor before "100", nothing selected
    terminal->KeyAt(145, Key::Char('5'));
    terminal->KeyAt(146, ESCAPE);
    Run();
    ASSERT_GE(flushes.size(), 13u);
    EXPECT_EQ(window->GetControlText(platform::IDC_LIMIT_1), "5100") << "cursor and selection kept";
    EXPECT_EQ(flushes[8], flushes[2]) << "ticks 3 to 8 wrote the same texts";
    EXPECT_EQ(flushes[9], flushes[8] + 1) << "the ninth changed the state";
    EXPECT_EQ(flushes[12], flushes[10] + 2) << "and then on every tick";
}

// --- the file dialog ----------------------------------------------------------

class FileDialogTest : public FrontEndTest {
protected:
    FileDialogTest() {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "velsor");
        for (const char* name : {"turno.lim", "noche.lim", "informe.est"}) std::ofstream(root / "velsor" / name) << "x";
        setenv("QUELMAR_DRIVE_C", root.c_str(), 1);
    }
    ~FileDialogTest() override {
        unsetenv("QUELMAR_DRIVE_C");
        std::filesystem::remove_all(root);
    }

    // Runs one dialog from a press of "C&argar" with the keys the script
    // gives, and keeps its answer and the screens at its ticks.
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
        events.onTimer = [this](int) { screens.push_back(terminal->Screen()); };
        terminal->Key_(Alt('a'));
        script();
        Run();
    }
    bool AnyScreenShows(std::string_view text) const {
        return std::any_of(screens.begin(), screens.end(), [&](const std::string& s) { return s.find(text) != s.npos; });
    }

    std::filesystem::path root = std::filesystem::temp_directory_path() / ("quelmar_drive_" + std::to_string(::getpid()));
    std::string folder = "C:\\velsor\\";
    std::optional<std::string> answer;
    std::vector<std::string> screens;
};

TEST_F(FileDialogTest, OpenListsTheFirstFiltersFilesTicksGoOnAndTheProgramsPathComesBack) {
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(100, Key::Char('t'));
        terminal->Type("urno");
        terminal->KeyAt(200, ENTER);
    });
    EXPECT_EQ(answer, std::optional<std::string>("C:\\velsor\\turno.lim")) << "default extension added";
    EXPECT_GE(std::count(events.log.begin(), events.log.end(), "timer 9"), 19);
    ASSERT_FALSE(screens.empty());
    for (const char* text : {"noche.lim", "turno.lim", "Archivos Límites USB(*.lim)"})
        EXPECT_NE(screens[0].find(text), std::string::npos) << screens[0];
    EXPECT_EQ(screens[0].find("informe.est"), std::string::npos);
}

TEST_F(FileDialogTest, TheSecondFilterShowsEveryFileAndTheListFillsTheName) {
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(40, Alt('t'));
        terminal->KeyAt(60, Key::Char(' '));  // "Todos los archivos(*.*)"
        terminal->KeyAt(100, Alt('l'));
        terminal->KeyAt(120, Key::Special(KEY_CODE_DOWN));  // the first: informe.est
        terminal->KeyAt(180, ENTER);
    });
    EXPECT_TRUE(AnyScreenShows("< Todos los archivos(*.*) >"));
    EXPECT_EQ(answer, std::optional<std::string>("C:\\velsor\\informe.est"));
}

TEST_F(FileDialogTest, SavingOverAFileAsksFirstAndCancelKeepsTheDialogOpen) {
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->KeyAt(40, Key::Char('n'));
        terminal->Type("oche");
        terminal->KeyAt(60, ENTER);    // exists: the question
        terminal->KeyAt(100, ESCAPE);  // Cancel: back in the dialog
        terminal->KeyAt(140, ENTER);   // asked again
        terminal->KeyAt(180, ENTER);   // OK
    });
    EXPECT_EQ(answer, std::optional<std::string>("C:\\velsor\\noche.lim"));
    EXPECT_TRUE(AnyScreenShows("noche.lim ya existe. ¿Desea reemplazarlo?"));
}

TEST_F(FileDialogTest, SavingANewNameAsksNothingAndEscapeCancels) {
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->Type("nuevo");
        terminal->Key_(ENTER);
    });
    EXPECT_EQ(answer, std::optional<std::string>("C:\\velsor\\nuevo.lim"));
    EXPECT_FALSE(std::filesystem::exists(root / "velsor" / "nuevo.lim")) << "the caller writes it";
    RunDialog(platform::FileDialogKind::Save, [&] {
        terminal->Type("otro");
        terminal->Key_(ESCAPE);
    });
    EXPECT_FALSE(answer.has_value());
}

TEST_F(FileDialogTest, AMissingFileToOpenIsHandedToTheProgramAndAMissingFolderIsNeverCreated) {
    folder = "C:\\nohay\\";
    RunDialog(platform::FileDialogKind::Open, [&] {
        terminal->KeyAt(40, Key::Char('x'));
        terminal->KeyAt(60, ENTER);  // no such file: the program will say so
    });
    EXPECT_EQ(answer, std::optional<std::string>("C:\\nohay\\x.lim"));
    ASSERT_FALSE(screens.empty());
    EXPECT_NE(screens.front().find("(ningún archivo)"), std::string::npos) << screens.front();
    EXPECT_FALSE(AnyScreenShows("No se encontró el archivo"));
    EXPECT_FALSE(std::filesystem::exists(root / "nohay"));
}

}  // namespace
}  // namespace ui::terminal
