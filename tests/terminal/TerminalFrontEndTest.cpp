// The front-end's own wiring: drawing, keys, focus, timers, local time, boxes and file names.
// The dialog's events are tested in tests/ui, the program's key flows in tests/e2e.
#include "ui/terminal/TerminalFrontEnd.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>
#include <unistd.h>

#include "FakeTerminal.h"
#include "app/quelmar.h"
#include "ui/ControlIds.h"
#include "storage/StatisticsReport.h"
#include "tests/support/ScaleTestBench.h"
#include "ui/terminal/FileDialogModel.h"

namespace ui::terminal {
namespace {

using platform::MessageButtons;
using platform::MessageResult;
using platform::ModalResult;
using Texts = std::vector<std::string>;  // a log of events, or lines
namespace ids = ui;

Key Alt(char c) { return Key::Char(c, true); }
const Key ENTER = Key::Char(CHAR_RETURN), ESCAPE = Key::Char(CHAR_ESCAPE), TAB = Key::Char(CHAR_TAB),
          SPACE = Key::Char(' '), BACK_TAB = Key::Special(KEY_CODE_BACK_TAB), F10 = Key::Special(KeyCodeF(10));

class FakePanel final : public SimulatorPanel {
public:
    std::string StateText() const override { return state; }
    void Act(SimulatorAction) override {}
    bool Taken(SimulatorAction action) const override { return unplugged && action == SimulatorAction::Plug; }
    std::string state = "Balanza simulada: Trabajando, 12 piezas, sin peso patrón";
    bool unplugged = false;
};

// The window on an in-memory terminal; its events are noted in `log`, and
// hooks play the dialog's part.
class FrontEndTest : public ::testing::Test, public DialogEvents {
protected:
    FrontEndTest() { Reopen(); }
    // A new window, as the program opens it.
    void Reopen(int rows = 30, int columns = 80) {
        auto fake = std::make_unique<testing::FakeTerminal>(rows, columns, now);
        terminal = fake.get();
        window = std::make_unique<TerminalFrontEnd>(std::move(fake),
                                                    TerminalOptions{.panel = &panel, .clock = [this] { return now; }});
        window->AppendSystemMenuItem(ui::SYSMENU_ABOUT_ID, "&Acerca de quelmar...");
    }
    void Type(const std::vector<Key>& keys) {
        for (const Key& key : keys) terminal->KeyAt(0, key);
    }
    void Run(const std::vector<Key>& keys) {
        Type(keys);
        static_cast<void>(window->RunModal(*this));
    }

    void InitializeWindow() override { onInit(); }
    void OnCommand(int id) override {
        log.push_back("command " + std::to_string(id));
        onCommand(id);
    }
    void OnEditChange(int) override {}
    void OnTimer(int id) override { onTimer(id); }
    bool OnSysCommand(int id) override {
        log.push_back("syscommand " + std::to_string(id));
        return false;
    }
    void OnAccept() override { End("accept", ModalResult::Ok); }
    void OnCancel() override { End("cancel", ModalResult::Cancel); }
    void OnClose() override { End("close", ModalResult::Cancel); }
    void End(const char* what, ModalResult result) {
        log.push_back(what);
        window->CloseModal(result);
    }

    std::int64_t now = 0;
    FakePanel panel;
    testing::FakeTerminal* terminal = nullptr;
    std::unique_ptr<TerminalFrontEnd> window;
    Texts log;
    std::function<void()> onInit = [] {};
    std::function<void(int)> onCommand = [](int) {}, onTimer = [](int) {};
};

TEST_F(FrontEndTest, TheMainWindowShowsMnemonicsDisabledButtonsAndTheFocusAndBelowItTheStateKeysAndHelp) {
    std::vector<std::string> lines;
    std::vector<unsigned> attributes;
    onInit = [&] { window->StartTimer(1, 10); };
    onTimer = [&](int) {  // the window as it is drawn
        lines = terminal->Lines();
        attributes = {terminal->AttributesAt("[Parar Prueba]", 11), terminal->AttributesAt("[Calibración]", 1),
                      terminal->AttributesAt("[Calibración]", 2), terminal->AttributesAt("[Salir]", 0)};
        window->CloseModal(ModalResult::Cancel);
    };
    Reopen(24, 80);
    Run({});
    EXPECT_EQ(attributes, (std::vector<unsigned>{ATTR_DIM, ATTR_UNDERLINE, ATTR_NORMAL, ATTR_REVERSE}));
    EXPECT_FALSE(testing::Shows(lines, "&"));
    // The state and the keys each whole on a row of their own, then the
    // help; both on one row when they fit, their spacing kept.
    EXPECT_EQ(lines[21].find(panel.state), 0u) << lines[21];
    EXPECT_EQ(lines[22].find("F2 peso patrón  F3 pausa  F4 desconectar"), 0u) << lines[22];
    EXPECT_EQ(lines[23].find(KEY_HELP), 0u) << lines[23];
    panel.state = "Balanza simulada: lista";
    panel.unplugged = true;  // F4 then plugs it in again
    Run({});
    EXPECT_TRUE(testing::Shows(lines, "Balanza simulada: lista   F2 peso patrón  F3 pausa  F4 conectar"));
}

TEST_F(FrontEndTest, ATooSmallTerminalAsksForMoreRoomAndTakesOnlyTheCloseKey) {
    for (const auto& [rows, columns, size] :
         {std::tuple{24, 79, "ahora 79 x 24"}, std::tuple{23, 80, "ahora 80 x 23"}}) {
        Reopen(rows, columns);
        Run({Alt('s'), Key::Char(CHAR_CTRL_Q)});
        EXPECT_TRUE(testing::Shows(terminal->Lines(), "al menos 80 x 24"));
        EXPECT_TRUE(testing::Shows(terminal->Lines(), size));
    }
    EXPECT_EQ(log, (Texts{"close", "close"}));
}

TEST_F(FrontEndTest, KeysAndClicksInTheMainWindow) {
    const DialogTemplate& dialog = MainDialogTemplate();
    const CellRect& load = window->Layout().cells[FindControl(dialog, ids::IDC_LOAD_LIMITS) - dialog.controls.data()];
    const Key clickOnLoad = Key::Click(load.row + DIALOG_FIRST_ROW, load.col + load.cols / 2);
    // clang-format off
    const std::tuple<const char*, std::vector<Key>, Texts> cases[] = {  // what, the keys, the events
        {"Tab skips the disabled work buttons", {TAB, TAB, SPACE, ESCAPE}, {"command 1040", "cancel"}},
        {"arrows move among buttons", {Key::Special(KEY_CODE_DOWN), SPACE, ESCAPE}, {"command 1003", "cancel"}},
        {"Tab wraps from the last to the first", {BACK_TAB, TAB, SPACE, ESCAPE}, {"command 1000", "cancel"}},
        {"Enter in a field accepts", {BACK_TAB, ENTER}, {"accept"}},
        {"the system menu: Cerrar first, About past the rule by arrow, letter or click, Escape chooses nothing",
         {F10, Key::Special(KEY_CODE_DOWN), ENTER, F10, Key::Char('a'), Key::Click(0, 1), Key::Click(4, 3), F10, ESCAPE,
          F10, ENTER}, {"syscommand 16", "syscommand 16", "syscommand 16", "close"}},
        {"buttons by their letter, Enter, space and click", {Key::Char('p'), ENTER, SPACE, clickOnLoad, ESCAPE},
         {"command 1040", "command 1040", "command 1040", "command 1037", "cancel"}},
    };
    // clang-format on
    for (const auto& [name, keys, events] : cases) {
        SCOPED_TRACE(name);
        log.clear();
        Run(keys);
        EXPECT_EQ(log, events);
    }
}

TEST_F(FrontEndTest, AFieldReachedByTabIsSelectedWholeAndADisabledFocusGoesOnToAButton) {
    // The keys (none: Prueba focused, then disabled, Parar Prueba off), then a 5: the focus, line 1's limit and
    // the reference weight.
    const std::tuple<std::vector<Key>, int, Texts> cases[] = {{{TAB, TAB, TAB}, ids::IDC_LIMIT_1, {"5", "190"}},
                                                              {{BACK_TAB}, ids::IDC_REFERENCE_WEIGHT, {"100", "5"}},
                                                              {{}, ids::IDC_LOAD_LIMITS, {"100", "190"}}};
    for (const auto& [keys, focused, fields] : cases) {
        onInit = [&, disable = keys.empty()] {
            window->SetControlText(ids::IDC_LIMIT_1, "100");
            window->SetControlText(ids::IDC_REFERENCE_WEIGHT, "190");
            if (disable) window->FocusControl(ids::IDC_START_TEST), window->EnableControl(ids::IDC_START_TEST, false);
        };
        Reopen();
        Type(keys);
        Run({Key::Char('5'), ESCAPE});
        EXPECT_EQ(window->FocusedControl(), focused);
        EXPECT_EQ(Texts({window->GetControlText(ids::IDC_LIMIT_1), window->GetControlText(ids::IDC_REFERENCE_WEIGHT)}),
                  fields);
    }
}

TEST(TimerSchedulerTest, TimersFallDueOncePerPeriodHoweverLateAndStopOrRestart) {
    TimerScheduler timers;
    timers.Start(1, 100, 0);
    timers.Start(3, 250, 0);
    EXPECT_FALSE(timers.TakeDue(99));
    EXPECT_EQ(timers.TakeDue(300), 1);  // the earliest first, and once though two periods late
    EXPECT_EQ(timers.TakeDue(300), 3);
    EXPECT_FALSE(timers.TakeDue(300));
    timers.Postpone(3, 320);
    timers.Postpone(7, 320);  // not running: stays so
    EXPECT_FALSE(timers.IsRunning(7));
    timers.Start(1, 1000, 300);             // restarted with a new period
    EXPECT_EQ(timers.NextDeadline(), 570);  // 3 is due a period after 320
    timers.Stop(3);
    EXPECT_EQ(timers.NextDeadline(), 1300);
    EXPECT_EQ(timers.TakeDue(4500), 1);
    EXPECT_EQ(timers.NextDeadline(), 5500);
}

TEST_F(FrontEndTest, TicksGoOnBehindABoxOverAWindowNotYetDrawnASlowOnePuttingOffTheNextTheKeysFirst) {
    onInit = [&] {
        window->StartTimer(1, 100);
        window->StartTimer(3, 1010);
        window->StartTimer(5, 100);
        static_cast<void>(window->ShowMessage("Dispositivo Encontrado y Configurado!", "Quelmar",
                                              platform::MessageIcon::Information, MessageButtons::Ok));
        log.push_back("box closed");
    };
    onTimer = [&](int id) {  // each waits out a silent scale's time-out
        log.push_back("tick " + std::to_string(id) + " at " + std::to_string(now));
        window->StopTimer(5);  // due as well, but not to tick any more
        now += 350;
    };
    terminal->KeyAt(1010, ENTER);   // over a second on, during a tick with 3 due: read before 3 ticks
    terminal->KeyAt(1020, ESCAPE);  // ends the window
    Run({});
    EXPECT_EQ(log, (Texts{"tick 1 at 100", "tick 1 at 550", "tick 1 at 1000", "box closed", "cancel"}));
    EXPECT_TRUE(testing::Shows(terminal->seen.front(), "Dispositivo Encontrado y Configurado!"));
    EXPECT_FALSE(testing::Shows(terminal->seen.front(), "[Salir]")) << "the box comes before the window";
    EXPECT_FALSE(window->IsTimerRunning(1)) << "the timers end with the window";
}

TEST_F(FrontEndTest, ATextWrittenAgainUnchangedKeepsTheCursorAndDrawsNothing) {
    // The dialog refreshes every field on each tick; only a change is drawn.
    std::vector<int> flushes;
    onInit = [&] {
        window->SetControlText(ids::IDC_LIMIT_1, "100");
        window->FocusControl(ids::IDC_LIMIT_1);  // its text selected
        window->StartTimer(9, 10);
    };
    onTimer = [&](int) {
        window->SetControlText(ids::IDC_LIMIT_1, "100");
        window->SetControlText(ids::IDC_STATE, flushes.size() < 8 ? "Trabajando" : "Esperando sincronismo...");
        flushes.push_back(terminal->flushes);
    };
    terminal->KeyAt(105, Key::Char('5'));  // replaces the selection the program's focus made
    terminal->KeyAt(106, ESCAPE);
    Run({});
    ASSERT_GE(flushes.size(), 10u);
    EXPECT_EQ(window->GetControlText(ids::IDC_LIMIT_1), "5") << "the selection kept";
    EXPECT_EQ(flushes[8], flushes[2]) << "ticks 3 to 8 wrote the same texts";
    EXPECT_EQ(flushes[9], flushes[8] + 1) << "the ninth changed the state";
}

TEST_F(FrontEndTest, WorkAndTestTickEvery100MsUntilStoppedThenTheScaleHearsNoMoreAndTheMenuOpensTheAboutBox) {
    testing_support::ScaleTestBench bench;  // the real dialog on a scripted scale
    sim::ScriptedDevice& scale = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    for (int i = 0; i < 20; ++i) scale.QueuePacket({2, 95, 0, 1});  // an item on line 1, or a weight of 95
    // Work from 0 to 350 ms, the test from 1000 (its box, its zero) to 1250, a digit while the focus is on
    // "Parar Prueba" and one right after it; the About box.
    // clang-format off
    for (const auto& [at, key] : {std::pair{0, ENTER}, {0, Alt('e')}, {350, Alt('d')}, {1000, Alt('p')}, {1000, ENTER}, {1100, Key::Char('7')},
                                  {1250, Alt('b')}, {1250, Key::Char('5')}, {3000, F10}, {3000, Key::Char('a')},
                                  {3000, ESCAPE}, {9000, Key::Char(CHAR_CTRL_Q)}})
        terminal->KeyAt(at, key);
    // clang-format on
    ui::MainDialog dialog{*window, bench.link, bench.files, bench.shift, bench.program};
    EXPECT_EQ(window->RunModal(dialog), ModalResult::Cancel);
    EXPECT_EQ(dialog.Values().statistics.totalCount, 3u) << "work ticks at 100, 200 and 300 ms";
    EXPECT_EQ(scale.Writes().size(), 4u) << "the limits at start-up, the test's zero, its readings at 1100 and 1200 ms";
    EXPECT_TRUE(terminal->Showed("Quelmar Versión 1.0"));
    EXPECT_EQ(window->FocusedControl(), ids::IDC_START_WORK) << "the focus went from Parar Prueba to a button";
    EXPECT_EQ(window->GetControlText(ids::IDC_LIMIT_1), "0") << "the digit after Parar Prueba changed a limit";
}

TEST_F(FrontEndTest, TextsRedrawnOnTheirOwnWhileCountingLeaveTheScreenAWholeDrawingWouldShow) {
    testing_support::ScaleTestBench bench;  // the real dialog on a scripted scale
    sim::ScriptedDevice& scale = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    // Items on every line, growing figures, and a state that goes from the long "Esperando sincronismo..."
    // to the shorter "Trabajando" and back; the simulator's line grows and shrinks too.
    for (int i = 0; i < 24; ++i)
        scale.QueuePacket({static_cast<std::uint8_t>(i % 4 == 3 ? 0 : 2), static_cast<std::uint8_t>(40 + 37 * i % 200),
                           0, static_cast<std::uint8_t>(1u << (i * 3 % 8))});
    ui::MainDialog dialog{*window, bench.link, bench.files, bench.shift, bench.program};
    std::vector<std::pair<Texts, Texts>> drawings;  // each as drawn after a tick, then drawn whole
    onInit = [&] { dialog.InitializeWindow(); };
    onCommand = [&](int id) { dialog.OnCommand(id); };
    onTimer = [&](int id) {
        const auto& seen = terminal->seen;
        if (now > 200) drawings.emplace_back(seen[seen.size() - 2], seen.back());
        dialog.OnTimer(id);
        const std::string n = std::to_string(now);  // on two rows, then on one
        panel.state = now % 300 == 0 ? "Balanza simulada: Trabajando, " + n + " piezas, sin peso patrón" : n;
    };
    terminal->KeyAt(0, ENTER);
    terminal->KeyAt(0, Alt('e'));
    for (int at = 150; at < 2700; at += 100) terminal->KeyAt(at, Key::Special(KEY_CODE_RESIZE));  // all anew
    terminal->KeyAt(2750, ESCAPE);
    Run({});
    ASSERT_EQ(drawings.size(), 25u);
    EXPECT_EQ(dialog.Values().statistics.totalCount, 18u);
    for (const auto& [afterTick, whole] : drawings) EXPECT_EQ(afterTick, whole);
}

TEST(LocalTimeTest, TheCLibrarysTimeAsTheReportDatesItMonthsFromOneWeeksFromSunday) {
    const std::time_t instant = 1798938123;  // a fixed one, read in UTC whatever the machine's zone
    std::tm tm{};
    gmtime_r(&instant, &tm);
    EXPECT_EQ(storage::FormatReportDate(ToLocalDateTime(tm)), "Domingo 03/01/2027  01:02:03");
}

TEST(ScaleRoadTest, OnlyDemoFallsBackToTheSimulatedScaleAndTheStateLineSaysSo) {
    using enum app::ScaleRoad;
    // clang-format off
    const std::tuple<app::ScaleRoad, bool, bool, bool, bool, int> rows[] = {
        // road, a libusb link, simulated by default, a scale attached: simulated, times looked for
        {Default, true, true, false, false, 0}, {Default, false, true, false, true, 0},
        {Default, false, false, false, false, 0}, {Usb, true, true, false, false, 0}, {Simulate, true, false, true, true, 0},
        {Demo, true, false, false, true, 1}, {Demo, true, true, true, false, 1}, {Demo, false, false, true, true, 0}};
    // clang-format on
    for (const auto& [road, link, byDefault, attached, simulated, looks] : rows) {
        int looked = 0;
        const auto scale = [&, attached = attached] { return ++looked, attached; };
        EXPECT_EQ(app::RunsOnSimulatedScale(road, link, byDefault, scale), simulated) << static_cast<int>(road);
        EXPECT_EQ(looked, looks) << static_cast<int>(road);
    }
    EXPECT_EQ(app::FallbackStateText("Balanza simulada: Trabajando, 8 piezas"),
              "Balanza simulada (no hay balanza USB conectada): Trabajando, 8 piezas");
}

// The boxes, run by the window before it is shown (nothing behind them).
TEST_F(FrontEndTest, MessageBoxesAnswerLikeWindowsOnes) {
    const std::tuple<MessageButtons, std::vector<Key>, MessageResult> cases[] = {
        {MessageButtons::OkCancel, {TAB, ENTER}, MessageResult::Cancel},
        {MessageButtons::OkCancelDefaultCancel, {ENTER}, MessageResult::Cancel},
        {MessageButtons::Ok, {ESCAPE}, MessageResult::Ok},
        {MessageButtons::Ok, {Key::Char(CHAR_CTRL_Q)}, MessageResult::Ok},
    };
    for (const auto& [buttons, keys, answer] : cases) {
        Reopen();
        Type(keys);
        EXPECT_EQ(window->ShowMessage("¿Desea borrar?", "Reset", platform::MessageIcon::Exclamation, buttons), answer);
        EXPECT_EQ(terminal->Showed("[Cancelar]"), buttons != MessageButtons::Ok);
    }
}

TEST_F(FrontEndTest, TheFileDialogListsChoosesAndAsksBeforeReplacing) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("quelmar_drive_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "velsor" / "a.lim");  // a folder is not a file to list
    for (const char* name : {"noche.lim", "z.est", "informe.est", "t.lim"}) std::ofstream(root / "velsor" / name);
    const std::vector<std::string> all = {"informe.est", "noche.lim", "t.lim", "z.est"};  // sorted, no folder
    EXPECT_EQ(ListFolder((root / "velsor").string(), "*.*").names, all);
    EXPECT_EQ(ListFolder((root / "velsor/t.lim").string(), "*.*").state, FolderListing::State::Missing) << "a file";
    setenv("QUELMAR_DRIVE_C", root.c_str(), 1);
    using platform::FileDialogKind;
    struct Case {
        const char* name;
        FileDialogKind kind;
        const char* folder;
        std::string typed;
        std::vector<Key> keys;  // after the typed text
        std::optional<std::string> chosen;
        std::vector<const char*> shown;
        const char* hidden;
    };
    // clang-format off
    const Case cases[] = {
        {"the second filter lists all files in order, the list shows its focus at once, Enter takes it",
         FileDialogKind::Open, "C:\\velsor\\", "", {Alt('t'), SPACE, Alt('l'), ENTER}, "C:\\velsor\\informe.est",
         {"< Todos los archivos(*.*) >"}, "(ningún archivo)"},
        {"a missing folder is said so; a file in it to open is the program's to report", FileDialogKind::Open,
         "C:\\nohay\\", "x", {ENTER}, "C:\\nohay\\x.lim", {"La carpeta C:\\nohay\\ no existe."}, "(ningún archivo)"},
        {"a name Windows refuses is refused, the dialog stays", FileDialogKind::Save, "C:\\velsor\\", "con",
         {ENTER, ENTER, ESCAPE}, std::nullopt, {"CON es un dispositivo de Windows."}, "[Abrir]"},
        {"a name too long is refused, never cut", FileDialogKind::Save, "C:\\velsor\\", std::string(250, 'a'),
         {ENTER, ENTER, ESCAPE}, std::nullopt, {"264"}, "[Abrir]"},
        {"saving over a file asks; Cancel keeps the dialog open", FileDialogKind::Save, "C:\\velsor\\", "noche",
         {ENTER, ESCAPE /* no to the question */, ENTER, ENTER}, "C:\\velsor\\noche.lim",
         {"Guardar como", "[Guardar]", "noche.lim ya existe. ¿Desea reemplazarlo?"}, "informe.est"},
        {"an accented letter from an eighth-bit terminal goes into the name", FileDialogKind::Save, "C:\\velsor\\", "a",
         {DecodeCharacter(0xF1, false), Key::Char('o'), ENTER}, "C:\\velsor\\año.lim", {}, "[Abrir]"},
        {"Escape cancels", FileDialogKind::Save, "C:\\velsor\\", "otro", {ESCAPE}, std::nullopt, {}, "(ningún archivo)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reopen();
        for (const char ch : c.typed) terminal->KeyAt(0, Key::Char(ch));
        Type(c.keys);
        const platform::FileDialogSettings settings{
            c.kind, c.folder, {{"Archivos Límites USB(*.lim)", "*.lim"}, {"Todos los archivos(*.*)", "*.*"}}, ".lim"};
        EXPECT_EQ(window->ChooseFile(settings), c.chosen);
        for (const char* text : c.shown) EXPECT_TRUE(terminal->Showed(text)) << text;
        EXPECT_TRUE(&c != cases || terminal->AttributesAt("informe.est", 0) == ATTR_REVERSE) << "the list's focus";
        EXPECT_FALSE(terminal->Showed(c.hidden)) << c.hidden;
    }
    EXPECT_FALSE(std::filesystem::exists(root / "nohay")) << "a missing folder is never created";
    unsetenv("QUELMAR_DRIVE_C");
    std::filesystem::remove_all(root);
}

TEST(FileDialogModelTest, NamesMatchPatternsLikeWindowsAndGetTheDefaultExtensionAndTheFolder) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> patterns[] = {
        {"TURNO.LIM", "*.lim", true}, {"turno.lim.bak", "*.lim", false}, {"sin_extension", "*.*", true},
        {"a.est", "*.lim;*.est", true}, {"a1.lim", "a?.lim", true}, {"a12.lim", "a?.lim", false}};
    const std::tuple<const char*, const char*, const char*> extensions[] = {
        {"turno", "lim", "turno.lim"}, {"turno.txt", ".lim", "turno.txt"},
        {"C:\\a.b\\turno", ".lim", "C:\\a.b\\turno.lim"}, {"turno", "", "turno"}, {"C:\\v\\", "lim", "C:\\v\\"}};
    const std::string in = "C:\\velsor\\";
    const std::tuple<std::string, const char*> paths[] = {  // a path, and a part of why it is refused ("" taken)
        {in + "noche.lim", ""}, {in, "Escriba"}, {in + "a\tb", "contener"}, {in + "a:b", "contener"},
        {in + "a<b", "contener"}, {in + "a>b", "contener"}, {in + "a\"b", "contener"}, {in + "a|b", "contener"},
        {in + "a?b", "contener"}, {in + "a*b", "contener"}, {in + "con", "CON es"}, {in + "Nul.lim", "NUL es"},
        {in + "com9.a.lim", "COM9 es"}, {in + "lpt1", "LPT1 es"}, {in + "prn.lim", "PRN"}, {in + "aux", "AUX"},
        {in + "com0.lim", ""}, {in + "lpt10", ""}, {in + "console.lim", ""}, {in + "turno.", "terminar en punto"},
        {in + "turno ", "terminar en punto ni en espacio"}, {in + std::string(249, 'a'), ""},  // 259 characters
        {in + std::string(250, 'a'), "tendría 260 caracteres y Windows admite como máximo 259"},
        {in + std::string(248, 'a') + "\xC3\xB1", ""}, {in + std::string(248, 'a') + "\xF0\x9F\x98\x80", "tendría 260"}};
    // clang-format on
    for (const auto& [name, pattern, matches] : patterns)
        EXPECT_EQ(MatchesPattern(name, pattern), matches) << name << " " << pattern;
    for (const auto& [name, extension, result] : extensions) EXPECT_EQ(WithDefaultExtension(name, extension), result);
    for (const auto& [path, why] : paths) {
        const std::string refused = RefusedPath(path);
        EXPECT_TRUE(*why ? refused.find(why) != std::string::npos : refused.empty()) << path << ": " << refused;
    }
    EXPECT_EQ(ResolveTypedName("C:\\velsor", " a.lim "), "C:\\velsor\\a.lim");
    EXPECT_EQ(ResolveTypedName("C:\\velsor\\", "c:\\otra\\b.lim"), "c:\\otra\\b.lim");
    EXPECT_EQ(ResolveTypedName("C:\\velsor\\", "/tmp/b.lim"), "/tmp/b.lim");
}

TEST(FileDialogModelTest, TextIsWrappedAtSpacesAndAtItsLineBreaks) {
    EXPECT_EQ(WrapText("Ingrese un número entre 150 y 600.", 16), (Texts{"Ingrese un", "número entre 150", "y 600."}));
    EXPECT_EQ(WrapText("a\nb c", 10), (Texts{"a", "b c"}));
    EXPECT_EQ(WrapText("abcdefgh", 3), (Texts{"abc", "def", "gh"}));
    EXPECT_EQ(WrapText("Calibración lista", 11), (Texts{"Calibración", "lista"}));
}

}  // namespace
}  // namespace ui::terminal
