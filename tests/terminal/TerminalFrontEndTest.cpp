// The front-end's own wiring: drawing, keys, focus and timers (the boxes
// are tested on their own in BoxesTest). What the dialog does with its
// events is tested in tests/ui, the whole program in tests/e2e.
#include "ui/terminal/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "FakeTerminal.h"
#include "platform/ControlIds.h"

namespace ui::terminal {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using testing::FakeTerminal;
using Log = std::vector<std::string>;
namespace ids = platform;

Key Alt(char c) { return Key::Char(c, true); }
Key Special(int code) { return Key::Special(code); }
const Key ENTER = Key::Char(CHAR_RETURN), ESCAPE = Key::Char(CHAR_ESCAPE), TAB = Key::Char(CHAR_TAB),
          BACK_TAB = Special(KEY_CODE_BACK_TAB), CTRL_Q = Key::Char(CHAR_CTRL_Q), SPACE = Key::Char(' ');

// The main window's events, written down; hooks play the dialog's part.
class RecordingEvents final : public DialogEvents {
public:
    explicit RecordingEvents(TerminalFrontEnd*& window) : window_(window) {}
    Log log;
    std::function<void()> onInit;
    std::function<void(int)> onCommand, onTimer;

    void InitializeWindow() override { Note("init", onInit); }
    void OnCommand(int id) override { Note("command " + std::to_string(id), [&] { if (onCommand) onCommand(id); }); }
    void OnEditChange(int id) override { log.push_back("edit " + std::to_string(id) + " " + window_->GetControlText(id)); }
    void OnTimer(int id) override { if (onTimer) onTimer(id); }
    bool OnSysCommand(int id) override { return Note("syscommand " + std::to_string(id), nullptr), false; }
    void OnAccept() override { Note("accept", [&] { window_->CloseModal(platform::ModalResult::Ok); }); }
    void OnCancel() override { Note("cancel", [&] { window_->CloseModal(platform::ModalResult::Cancel); }); }
    void OnClose() override { Note("close", [&] { window_->CloseModal(platform::ModalResult::Cancel); }); }

private:
    void Note(const std::string& what, const std::function<void()>& then) {
        log.push_back(what);
        if (then) then();
    }
    TerminalFrontEnd*& window_;
};

// The simulated scale's panel; notes its keys, and looks at the screen at each.
class FakePanel final : public SimulatorPanel {
public:
    std::string StatusLine() const override { return state + "   F2 peso patrón  F3 pausa  F4 desconectar"; }
    bool HandleKey(int key) override {
        keys.push_back(key);
        if (look) look();
        return true;
    }
    std::string state = "Balanza simulada: Trabajando, 12 piezas, sin peso patrón";
    std::function<void()> look;
    std::vector<int> keys;
};

class FrontEndTest : public ::testing::Test {
protected:
    FrontEndTest() { Reopen(); }
    // A new window, as the program opens it.
    void Reopen() {
        auto fake = std::make_unique<FakeTerminal>(30, 80, now);
        terminal = fake.get();
        TerminalOptions options;
        options.panel = &panel;
        options.clock = [this] { return now; };
        owned = std::make_unique<TerminalFrontEnd>(std::move(fake), std::move(options));
        window = owned.get();
        window->AppendSystemMenuItem(platform::SYSMENU_ABOUT_ID, "&Acerca de quelmar...");
    }
    platform::ModalResult Run() { return window->RunModal(events); }
    // The screen as the first key offered to the panel (F4) finds it.
    std::string ScreenAtF4(const std::function<void()>& look = {}) {
        std::string screen;
        panel.look = [&] {
            if (!screen.empty()) return;
            screen = terminal->Screen();
            if (look) look();
        };
        terminal->Keys({Special(KeyCodeF(4)), ESCAPE});
        static_cast<void>(Run());
        return screen;
    }
    Key ClickOn(int id) const {
        const DialogTemplate& dialog = MainDialogTemplate();
        const CellRect& cell = window->Layout().cells[static_cast<std::size_t>(FindControl(dialog, id) - dialog.controls.data())];
        return Key::Click(cell.row + DIALOG_FIRST_ROW, cell.col + cell.cols / 2);
    }

    std::int64_t now = 0;
    FakePanel panel;
    FakeTerminal* terminal = nullptr;
    std::unique_ptr<TerminalFrontEnd> owned;
    TerminalFrontEnd* window = nullptr;
    RecordingEvents events{window};
};

TEST_F(FrontEndTest, TheMainWindowShowsMnemonicsDisabledButtonsAndTheFocusAndBelowItTheStateKeysAndHelp) {
    terminal->Resize(24, 80);
    const std::string screen = ScreenAtF4([&] {
        EXPECT_EQ(terminal->AttributesAt("[Parar Prueba]", 11), unsigned{ATTR_DIM});
        EXPECT_EQ(terminal->AttributesAt("[Calibración]", 1), unsigned{ATTR_UNDERLINE});
        EXPECT_EQ(terminal->AttributesAt("[Calibración]", 2), unsigned{ATTR_NORMAL});
        EXPECT_EQ(terminal->AttributesAt("[Salir]", 0), unsigned{ATTR_REVERSE});
    });
    EXPECT_EQ(screen.find('&'), std::string::npos) << screen;
    // The state and the keys each whole on a row of their own, then the
    // help; both on one row when they fit, their spacing kept.
    std::vector<std::string> rows;
    for (std::size_t at = 0, end; (end = screen.find('\n', at)) != std::string::npos; at = end + 1)
        rows.push_back(screen.substr(at, end - at));
    ASSERT_EQ(rows.size(), 24u);
    EXPECT_EQ(rows[21].find(panel.state), 0u) << screen;
    EXPECT_EQ(rows[22].find("F2 peso patrón  F3 pausa  F4 desconectar"), 0u) << screen;
    EXPECT_EQ(rows[23].find(KEY_HELP), 0u) << screen;
    panel.state = "Balanza simulada: lista";
    EXPECT_NE(ScreenAtF4().find("\nBalanza simulada: lista   F2 peso patrón"), std::string::npos);
}

TEST_F(FrontEndTest, ATooSmallTerminalAsksForMoreRoomAndTakesOnlyTheCloseKey) {
    for (const auto& [rows, columns, size] : {std::tuple{24, 79, "ahora 79 x 24"}, std::tuple{23, 80, "ahora 80 x 23"}}) {
        terminal->Resize(rows, columns);
        terminal->Keys({Alt('s'), CTRL_Q});
        static_cast<void>(Run());
        EXPECT_NE(terminal->Screen().find("al menos 80 x 24"), std::string::npos) << terminal->Screen();
        EXPECT_NE(terminal->Screen().find(size), std::string::npos) << terminal->Screen();
    }
    EXPECT_EQ(events.log, (Log{"init", "close", "init", "close"}));
}

TEST_F(FrontEndTest, KeysAndClicksInTheMainWindow) {
    struct Case {
        const char* name;
        std::vector<Key> keys;  // an Escape ends each
        Log log;
        int focus;  // after the keys, 0: not looked at
        std::vector<int> panelKeys;
    };
    const Case cases[] = {
        {"Tab skips the disabled work buttons", {TAB, TAB}, {}, ids::IDC_START_TEST, {}},
        {"back from the first round to the end, past a disabled one", {BACK_TAB, BACK_TAB}, {},
         ids::IDC_SAVE_STATISTICS, {}},
        {"arrows move among buttons", {Special(KEY_CODE_DOWN)}, {}, ids::IDC_CALIBRATE, {}},
        {"the operator's edits are reported, unused keys go to the scale",
         {BACK_TAB, Key::Char('1'), Key::Char('x'), Key::Char('0'), Special(KEY_CODE_HOME), Special(KEY_CODE_DELETE),
          Special(KEY_CODE_BACKSPACE), Special(KeyCodeF(4))},
         {"edit 1050 1", "edit 1050 10", "edit 1050 0"}, ids::IDC_REFERENCE_WEIGHT, {'x', KeyCodeF(4)}},
        {"Enter accepts", {BACK_TAB, ENTER}, {"accept"}, 0, {}},
        {"F10 opens the system menu, Cerrar first", {Special(KeyCodeF(10)), ENTER}, {"close"}, 0, {}},
        {"the menu's last item by its mnemonic", {Special(KeyCodeF(10)), Key::Char('a')}, {"syscommand 16"}, 0, {}},
        {"buttons by mnemonic, Enter, space, click; not when disabled (last: enables one)",
         {Alt('s'), Alt('E'), Key::Char('p'), ENTER, SPACE, ClickOn(ids::IDC_LOAD_LIMITS), Alt('e')},
         {"command 1000", "command 1040", "command 1040", "command 1040", "command 1037", "command 1002"}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.log.clear();
        panel.keys.clear();
        // The program's texts, selected when the focus comes by Tab.
        events.onInit = [&] { window->SetControlText(ids::IDC_REFERENCE_WEIGHT, "190"); };
        events.onCommand = [&](int id) {
            if (id == ids::IDC_LOAD_LIMITS) window->EnableControl(ids::IDC_START_WORK, true);
        };
        Log log = {"init"};
        log.insert(log.end(), c.log.begin(), c.log.end());
        for (const Key& key : c.keys) terminal->KeyAt(0, key);
        if (log.back() != "accept" && log.back() != "close") {
            terminal->KeyAt(0, ESCAPE);
            log.push_back("cancel");
        }
        static_cast<void>(Run());
        EXPECT_EQ(events.log, log);
        if (c.focus != 0) {
            EXPECT_EQ(window->FocusedControl(), c.focus);
        }
        EXPECT_EQ(panel.keys, c.panelKeys);
    }
}

TEST_F(FrontEndTest, AButtonThatDisablesItselfHandsTheFocusOnWithoutSelectingTheNextText) {
    // Each mode button's own steps, in the order its operation takes them
    // (a negative id disables), from the mode in which it is pressed.
    struct Case {
        int pressed;
        std::vector<int> before, steps;
        int focusAfter;
    };
    using namespace platform;
    const Case cases[] = {
        {IDC_START_TEST, {IDC_START_WORK}, {IDC_STOP_TEST, -IDC_START_TEST, -IDC_CALIBRATE, -IDC_START_WORK}, IDC_STOP_TEST},
        {IDC_STOP_TEST, {IDC_STOP_TEST, -IDC_START_TEST, -IDC_CALIBRATE},
         {-IDC_STOP_TEST, IDC_START_TEST, IDC_CALIBRATE, IDC_START_WORK}, IDC_LIMIT_1},
        {IDC_START_WORK, {IDC_START_WORK}, {-IDC_CALIBRATE, -IDC_START_TEST, IDC_STOP_WORK, -IDC_START_WORK, IDC_RESTART},
         IDC_STOP_WORK},
        {IDC_STOP_WORK, {IDC_STOP_WORK, IDC_RESTART, -IDC_CALIBRATE, -IDC_START_TEST},
         {IDC_CALIBRATE, IDC_START_TEST, -IDC_STOP_WORK, IDC_START_WORK, -IDC_RESTART}, IDC_CALIBRATE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pressed);
        Reopen();
        const auto apply = [&](const std::vector<int>& steps) {
            for (const int step : steps) window->EnableControl(std::abs(step), step > 0);
        };
        events.onInit = [&] {
            window->SetControlText(IDC_LIMIT_1, "100");
            apply(c.before);
            window->FocusControl(c.pressed);
        };
        events.onCommand = [&](int) { apply(c.steps); };
        terminal->Keys({ENTER, Key::Char('5'), ESCAPE});  // a digit right after the press
        static_cast<void>(Run());
        EXPECT_EQ(window->FocusedControl(), c.focusAfter);
        EXPECT_EQ(window->GetControlText(IDC_LIMIT_1), c.focusAfter == IDC_LIMIT_1 ? "1005" : "100")
            << "the limit is not replaced";
    }
}

TEST_F(FrontEndTest, TicksGoOnBehindABoxOverAWindowNotYetDrawnAndEndWithTheWindow) {
    std::vector<std::int64_t> ticks;
    std::string behind;
    events.onInit = [&] {
        window->StartTimer(ids::TIMER_WORK, 100);
        static_cast<void>(window->ShowMessage("Dispositivo Encontrado y Configurado!", "Quelmar",
                                              MessageIcon::Information, MessageButtons::Ok));
    };
    events.onTimer = [&](int) {
        ticks.push_back(now);
        if (behind.empty()) behind = terminal->Screen();
    };
    terminal->KeyAt(1050, ENTER);   // the box stays open one second
    terminal->KeyAt(1060, ESCAPE);  // ends the window
    static_cast<void>(Run());
    EXPECT_EQ(std::count_if(ticks.begin(), ticks.end(), [](std::int64_t t) { return t < 1050; }), 10);
    EXPECT_NE(behind.find("Dispositivo Encontrado y Configurado!"), std::string::npos) << behind;
    EXPECT_EQ(behind.find("[Salir]"), std::string::npos) << behind;
    EXPECT_FALSE(window->IsTimerRunning(ids::TIMER_WORK));
}

TEST_F(FrontEndTest, ATextWrittenAgainUnchangedKeepsTheCursorAndDrawsNothing) {
    // The dialog refreshes every field on each tick; only a change is drawn.
    std::vector<int> flushes;
    std::string state = "Trabajando";
    events.onInit = [&] {
        window->SetControlText(ids::IDC_LIMIT_1, "100");
        window->FocusControl(ids::IDC_LIMIT_1);  // its text selected
        window->StartTimer(9, 10);
    };
    events.onTimer = [&](int) {
        window->SetControlText(ids::IDC_LIMIT_1, "100");
        window->SetControlText(ids::IDC_STATE, state);
        flushes.push_back(terminal->flushes);
        if (flushes.size() == 8) state = "Esperando sincronismo...";
    };
    terminal->KeyAt(15, Special(KEY_CODE_HOME));  // cursor before "100", nothing selected
    terminal->KeyAt(105, Key::Char('5'));
    terminal->KeyAt(106, ESCAPE);
    static_cast<void>(Run());
    ASSERT_GE(flushes.size(), 10u);
    EXPECT_EQ(window->GetControlText(ids::IDC_LIMIT_1), "5100") << "cursor and selection kept";
    EXPECT_EQ(flushes[8], flushes[2]) << "ticks 3 to 8 wrote the same texts";
    EXPECT_EQ(flushes[9], flushes[8] + 1) << "the ninth changed the state";
}

}  // namespace
}  // namespace ui::terminal
