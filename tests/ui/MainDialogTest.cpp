// The main window's wiring: start-up, exit, field exchange, buttons and timers.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <tuple>

#include "tests/support/ProgramBoxes.h"
#include "tests/support/ScaleTestBench.h"

using namespace testing_support::boxes;
using testing_support::MessageRecord;
using testing_support::ScaleTestBench;

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    // Start-up with the scale present and a calibration file.
    sim::ScriptedDevice& StartReady() {
        sim::ScriptedDevice& scale = bench.AttachScripted();
        bench.StoreCalibration(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
        bench.StartUp();
        bench.window.messages.clear();
        return scale;
    }
    std::string& Text(int id) { return bench.window.texts[id]; }
    ScaleTestBench bench;
};

TEST_F(MainDialogTest, ScalePresentShowsTheFieldsThenFoundThenTheStartingModeAndAddsTheAboutItem) {
    bench.AttachScripted();
    bench.StartUp();  // no calibration file
    EXPECT_EQ(bench.window.messages, (Boxes{FOUND, CONFIGURATION_MISSING}));
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_EQ(Text(ui::IDC_REFERENCE_WEIGHT), "190");
    for (int id : ui::LIMIT_FIELD_IDS) EXPECT_EQ(Text(id), "0");
    EXPECT_EQ(bench.window.systemMenu, (std::vector<std::pair<int, std::string>>{{16, "&Acerca de quelmar..."}}));
    EXPECT_EQ(bench.window.focused, std::vector<int>{ui::IDC_EXIT});
    EXPECT_TRUE(bench.dialog.OnSysCommand(16));
    EXPECT_TRUE(bench.dialog.OnSysCommand(16 | 0x3));  // low bits are ignored
    EXPECT_FALSE(bench.dialog.OnSysCommand(0xF020));   // minimise: the platform's
    EXPECT_EQ(bench.window.aboutBoxes, 2);
}

TEST_F(MainDialogTest, ExitValidatesThenClosesTheLinkAndTheWindow) {
    StartReady();
    bench.Type(ui::IDC_REFERENCE_WEIGHT, "601");
    bench.Press(ui::IDC_EXIT);
    EXPECT_EQ(bench.window.messages, Boxes{Range(150, 600)});
    EXPECT_FALSE(bench.window.closed.has_value());
    EXPECT_TRUE(bench.readPipe.IsOpen() && bench.writePipe.IsOpen() && bench.device.IsOpen());
    bench.Type(ui::IDC_REFERENCE_WEIGHT, "600");
    bench.Press(ui::IDC_EXIT);
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Ok);
    EXPECT_FALSE(bench.readPipe.IsOpen() || bench.writePipe.IsOpen() || bench.device.IsOpen());
    EXPECT_EQ(bench.link.DeviceList(), nullptr);
}

TEST_F(MainDialogTest, EnterAndEscapeDoNothingSalirAndTheCloseBoxAskOnlyWhileWorking) {
    StartReady().QueuePacket({0, 40});
    bench.Type(ui::IDC_REFERENCE_WEIGHT, "abc");  // never validated here
    bench.dialog.OnAccept();
    bench.dialog.OnCancel();
    EXPECT_FALSE(bench.window.closed.has_value());
    bench.Press(ui::IDC_START_TEST);
    bench.dialog.OnClose();  // testing, not working: closes at once
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Cancel);
    EXPECT_EQ(bench.window.messages, Boxes{TEST_CLEAR_SCALE});
    bench.window.closed.reset();
    bench.Press(ui::IDC_STOP_TEST);
    bench.Press(ui::IDC_START_WORK);
    bench.window.AnswerNext(platform::MessageResult::Cancel);
    bench.Press(ui::IDC_EXIT);  // "&Salir" asks as the close box does
    EXPECT_FALSE(bench.window.closed.has_value()) << "answered no: the shift goes on";
    EXPECT_TRUE(bench.device.IsOpen());
    bench.dialog.OnClose();
    // The shift lives in memory here (no database): the question says it is lost.
    EXPECT_EQ(bench.window.messages, (Boxes{TEST_CLEAR_SCALE, LEAVE_LOST, LEAVE_LOST}));
    EXPECT_EQ(bench.window.closed, platform::ModalResult::Cancel);
}

TEST_F(MainDialogTest, EachFieldTakesAWholeNumberInItsRangeAndAReadStopsAtTheFirstRefused) {
    StartReady();
    const int limit = ui::LIMIT_FIELD_IDS[7], reference = ui::IDC_REFERENCE_WEIGHT;
    const std::tuple<int, const char*, std::optional<MessageRecord>> cases[] = {
        // field, text, the prompt (none: accepted)
        {reference, "149", Range(150, 600)}, {reference, "601", Range(150, 600)}, {reference, "150", std::nullopt},
        {reference, "600", std::nullopt},    {limit, "-1", Range(0, 800)},        {limit, "801", Range(0, 800)},
        {limit, "40000", Range(0, 800)},     {limit, "abc", WholeNumber(0, 800)}, {limit, "", WholeNumber(0, 800)},
        {limit, "0", std::nullopt},          {limit, "800", std::nullopt},
    };
    for (const auto& [field, text, prompt] : cases) {
        SCOPED_TRACE(std::string("\"") + text + "\"");
        bench.window.Type(reference, "190");
        bench.window.Type(limit, "400");
        bench.window.Type(field, text);
        bench.window.messages.clear();
        bench.window.focused.clear();
        EXPECT_EQ(bench.dialog.ReadFields(), !prompt);
        EXPECT_EQ(bench.window.messages, prompt ? Boxes{*prompt} : Boxes{});
        EXPECT_EQ(bench.window.focused, prompt ? std::vector<int>{field} : std::vector<int>{});
    }
    EXPECT_EQ(bench.dialog.Values().lineLimits[7], 800);

    // Reading stops at the first refused field, keeping what was stored.
    const char* typed[] = {"10", "20", "x", "40"};
    for (std::size_t line = 0; line < 4; ++line) bench.window.Type(ui::LIMIT_FIELD_IDS[line], typed[line]);
    EXPECT_FALSE(bench.dialog.ReadFields());
    const auto& limits = bench.dialog.Values().lineLimits;
    EXPECT_EQ((std::array<int, 4>{limits[0], limits[1], limits[2], limits[3]}), (std::array<int, 4>{10, 20, 150, 200}));
    // All eight are parsed and stored before any is range-checked.
    bench.window.Type(ui::LIMIT_FIELD_IDS[2], "900");
    bench.window.Type(ui::LIMIT_FIELD_IDS[7], "1000");
    EXPECT_FALSE(bench.dialog.ReadFields());
    EXPECT_EQ((std::array<int, 2>{limits[2], limits[7]}), (std::array<int, 2>{900, 1000}));
    EXPECT_EQ(bench.window.focused.back(), ui::LIMIT_FIELD_IDS[2]);
}

TEST(ParseWholeNumber, SixteenBitRange) {
    const std::pair<const char*, int> accepted[] = {{"32767", 32767}, {"-32768", -32768}, {"007", 7}, {" +300 ", 300}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(ui::ParseWholeNumber(text).value, std::optional<std::int16_t>(value)) << text;
    for (const char* tooLarge : {"32768", "-32769", "99999999999999999999"})
        EXPECT_TRUE(!ui::ParseWholeNumber(tooLarge).value && ui::ParseWholeNumber(tooLarge).whole) << tooLarge;
    for (const char* refused : {"+", "-", "1 2", "12a", "1.5", "99999999999999999999x"})
        EXPECT_FALSE(ui::ParseWholeNumber(refused).whole) << refused;
}

TEST_F(MainDialogTest, ARefreshKeepsWhatTheOperatorIsTypingALoadReplacesTheLimitsNeitherIsAnEdit) {
    StartReady();
    bench.window.Type(ui::LIMIT_FIELD_IDS[4], "2");  // half-typed, the value behind it unchanged
    bench.window.Type(ui::LIMIT_FIELD_IDS[1], "9");
    bench.window.Type(ui::IDC_REFERENCE_WEIGHT, "1");
    bench.dialog.Values().lineLimits[5] = 333;  // changed by the program: shown
    bench.dialog.ShowFields();
    const auto shown = [&] {
        return std::vector<std::string>{Text(ui::LIMIT_FIELD_IDS[4]), Text(ui::LIMIT_FIELD_IDS[1]),
                                        Text(ui::IDC_REFERENCE_WEIGHT), Text(ui::LIMIT_FIELD_IDS[5])};
    };
    EXPECT_EQ(shown(), (std::vector<std::string>{"2", "9", "1", "333"}));
    // Loaded limits replace typed texts even of equal value; the reference weight stays.
    bench.dialog.ShowLoadedValues();
    EXPECT_EQ(shown(), (std::vector<std::string>{"250", "100", "1", "333"}));

    // Only the operator's limit edits reach the gate, though the window's own writes are reported too.
    bench.window.afterSetText = [&](int id) { bench.dialog.OnEditChange(id); };
    for (auto& limit : bench.dialog.Values().lineLimits) limit = static_cast<std::int16_t>(limit + 1);
    bench.dialog.ShowFields();
    EXPECT_EQ(Text(ui::LIMIT_FIELD_IDS[0]), "1");
    EXPECT_EQ(bench.program.limitEditMask, 0);
    bench.Type(ui::IDC_REFERENCE_WEIGHT, "200");
    bench.Type(ui::LIMIT_FIELD_IDS[7], "5");
    EXPECT_EQ(bench.program.limitEditMask, 0x80);
}

TEST_F(MainDialogTest, EachButtonRunsItsOperationOnlyWhileEnabled) {
    using B = ScaleTestBench&;
    using D = sim::ScriptedDevice&;
    const auto firstBox = [](const MessageRecord& box) {
        return [box](B b, D) { return !b.window.messages.empty() && b.window.messages[0] == box; };
    };
    const auto dialog = [](const char* extension, platform::FileDialogKind kind) {
        return [=](B b, D) {
            const auto& d = b.window.fileDialogs;
            return d.size() == 1 && d[0].defaultExtension == extension && d[0].kind == kind;
        };
    };
    const auto shown = [](int id, const char* text) { return [=](B b, D) { return b.window.texts[id] == text; }; };
    const std::pair<int, std::function<bool(B, D)>> cases[] = {
        {ui::IDC_EXIT, [](B b, D) { return b.window.closed.has_value(); }},
        {ui::IDC_CALIBRATE, firstBox(CLEAR_SCALE)},
        {ui::IDC_START_TEST, firstBox(TEST_CLEAR_SCALE)},
        {ui::IDC_STOP_TEST, shown(ui::IDC_GRAMS, "0")},
        {ui::IDC_START_WORK, [](B b, D) { return b.window.TimerRunning(ui::TIMER_WORK); }},
        {ui::IDC_STOP_WORK, shown(ui::IDC_STATE, "")},
        {ui::IDC_SAVE_LIMITS, dialog(".lim", platform::FileDialogKind::Save)},
        {ui::IDC_LOAD_LIMITS, dialog(".lim", platform::FileDialogKind::Open)},
        {ui::IDC_SAVE_STATISTICS, dialog(".est", platform::FileDialogKind::Save)},
        {ui::IDC_RESTART, [](B, D d) { return d.Writes().back()[0] == 3; }},  // after the start-up's limits
        {ui::IDC_RESET, firstBox(RESET_QUESTION)},
    };
    for (const auto& [id, ran] : cases) {
        ScaleTestBench b;
        sim::ScriptedDevice& device = b.AttachScripted();
        b.StoreCalibration(2.0f, {});
        b.StartUp();
        b.window.messages.clear();
        b.window.texts[ui::IDC_GRAMS] = "12";
        b.window.texts[ui::IDC_STATE] = "x";
        b.window.EnableControl(id, false);
        b.Press(id);
        EXPECT_FALSE(ran(b, device)) << id << " ran while disabled";
        b.window.EnableControl(id, true);
        b.Press(id);
        EXPECT_TRUE(ran(b, device)) << id;
    }
}

// Every figure box, "Gramos", "Cuentas" and "Status" after test readings, counting, a field read and a
// refresh, and the report's figures, all against what the items sent add up to (factor 2.0 g per count).
// On the way, the mode buttons (start work, stop work, calibrate, start test, stop test, restart) and the timer of
// each mode, reached through the buttons.
TEST_F(MainDialogTest, EveryFigureBoxTheReportAndEachModesButtonsAndTimerFollowTheItemsAndTheButtons) {
    const auto modes = [&](ScaleTestBench& b) {
        std::string shown;
        for (const int id : {ui::IDC_START_WORK, ui::IDC_STOP_WORK, ui::IDC_CALIBRATE, ui::IDC_START_TEST,
                             ui::IDC_STOP_TEST, ui::IDC_RESTART})
            shown += b.window.IsControlEnabled(id) ? '1' : '0';
        for (const auto& [id, period] : b.window.timers)
            shown += " " + std::to_string(id) + "@" + std::to_string(period);
        return shown;
    };
    sim::ScriptedDevice& scale = StartReady();
    EXPECT_EQ(modes(bench), "101100");
    std::map<int, std::string> expected;
    std::array<unsigned, 9> items{}, grams{};  // per line, [8] the totals
    const auto item = [&](int line, int weight) {
        scale.QueuePacket({2, static_cast<std::uint8_t>(weight), 0, static_cast<std::uint8_t>(1 << (line - 1))});
        bench.Tick(ui::TIMER_WORK);
        for (const int i : {line - 1, 8}) items[i] += 1, grams[i] += 2 * weight;
        for (int i = 0; i < 9; ++i) {
            char kilograms[16];
            std::snprintf(kilograms, sizeof kilograms, "%.2f", grams[i] / 1000.0);
            const bool total = i == 8;
            expected[total ? ui::IDC_TOTAL_COUNT : ui::IDC_LINE_COUNT_1 + i] = std::to_string(items[i]);
            expected[total ? ui::IDC_TOTAL_KILOGRAMS : ui::IDC_LINE_KILOGRAMS_1 + i] = items[i] ? kilograms : "0";
        }
    };
    const auto shown = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const auto& [id, text] : expected) EXPECT_EQ(Text(id), text) << "control " << id;
    };
    for (int id = ui::IDC_LINE_COUNT_1; id <= ui::IDC_TOTAL_KILOGRAMS; ++id) expected[id] = "0";

    scale.QueuePacket({0, 40});  // the zero of test mode
    bench.Press(ui::IDC_START_TEST);
    EXPECT_EQ(modes(bench), "000010 1@100");
    scale.QueuePacket({0, 95});
    bench.Tick(ui::TIMER_TEST);
    expected[ui::IDC_GRAMS] = "110", expected[ui::IDC_COUNTS] = "95", expected[ui::IDC_STATE] = "";
    shown("a test reading");
    bench.Press(ui::IDC_STOP_TEST);
    EXPECT_EQ(modes(bench), "101100");
    expected[ui::IDC_GRAMS] = expected[ui::IDC_COUNTS] = "0";

    bench.Press(ui::IDC_START_WORK);
    EXPECT_EQ(modes(bench), "010001 3@100");
    scale.QueuePacket({1, 0, 0, 0});
    bench.Tick(ui::TIMER_WORK);
    expected[ui::IDC_STATE] = "Tomando Taras";
    shown("taking tares");
    for (int round = 8; round >= 1; --round)  // line L gets L items of 5 (L + 3) counts
        for (int line = round; line <= 8; ++line) item(line, 5 * (line + 3));
    expected[ui::IDC_STATE] = "Trabajando";
    shown("counted");
    ASSERT_TRUE(bench.dialog.ReadFields());
    bench.dialog.ShowFields();
    shown("read back and refreshed");
    item(3, 120);
    shown("counted after the read");

    // The report bears the press time; a refused field's prompt does not stop it; counting goes on behind the
    // dialog and the figures are taken after it.
    const std::string path = "C:\\velsor\\turno.est";
    bench.Press(ui::IDC_SAVE_STATISTICS);  // cancelled: nothing written
    EXPECT_FALSE(bench.files.File(path));
    bench.window.Type(ui::IDC_REFERENCE_WEIGHT, "x");
    bench.window.whileFileDialogOpen = [&] { ++bench.window.now.minute, item(5, 60); };
    bench.window.ChooseNext(path);
    bench.Press(ui::IDC_SAVE_STATISTICS);
    EXPECT_EQ(bench.window.messages, (Boxes{TEST_CLEAR_SCALE, WholeNumber(150, 600)}));
    std::string report =
        "Archivo de Estad\xEDsticas\r\nS\xE1"
        "bado 05/12/2026  21:15:18\r\n\r\n";
    for (int i = 0; i < 9; ++i) {
        const bool total = i == 8;
        report += (total ? std::string("\r\nTotales:   ") : "Linea " + std::to_string(i) + ":   ") +
                  expected[total ? ui::IDC_TOTAL_COUNT : ui::IDC_LINE_COUNT_1 + i] + " Unidades    " +
                  expected[total ? ui::IDC_TOTAL_KILOGRAMS : ui::IDC_LINE_KILOGRAMS_1 + i] +
                  (total ? " Kilogramos" : " Kilogramos\r\n");
    }
    EXPECT_EQ(bench.files.File(path), std::vector<std::uint8_t>(report.begin(), report.end()));
    EXPECT_EQ(expected[ui::IDC_TOTAL_COUNT], "38");
    bench.Press(ui::IDC_STOP_WORK);
    expected[ui::IDC_STATE] = "";
    shown("stopped");
    EXPECT_EQ(modes(bench), "101100");
    std::vector<std::string> whileCalibrating;
    bench.window.whileMessageOpen = [&](const MessageRecord&) { whileCalibrating.push_back(modes(bench)); };
    bench.window.Type(ui::IDC_REFERENCE_WEIGHT, "190");
    bench.window.AnswerNext(platform::MessageResult::Cancel);
    bench.Press(ui::IDC_CALIBRATE);
    EXPECT_EQ(whileCalibrating, (std::vector<std::string>{"001100", "001100"}));
    EXPECT_EQ(modes(bench), "101100");
    ScaleTestBench unconfigured;  // no calibration file
    unconfigured.AttachScripted();
    unconfigured.StartUp();
    EXPECT_EQ(modes(unconfigured), "001100");
}

TEST_F(MainDialogTest, TicksOfBothTimersAreDroppedInsideATickAndHandledAfterItForeignOnesNever) {
    sim::ScriptedDevice& scale = StartReady();
    scale.QueuePacket({2, 95, 0, 1});
    scale.QueuePacket({2, 95, 0, 1});
    scale.QueuePacket({0, 42});
    // A platform may pump messages while a tick writes the window: ticks of either timer come in.
    int nested = 0;
    bench.window.afterSetText = [&](int) {
        if (nested++ > 0) return;  // once: a handled one would write again, and so on
        bench.dialog.OnTimer(ui::TIMER_WORK);
        bench.dialog.OnTimer(ui::TIMER_TEST);
    };
    bench.dialog.OnTimer(ui::TIMER_WORK);
    bench.window.afterSetText = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, 1u);
    EXPECT_EQ(scale.QueuedPackets(), 2u) << "neither the nested status read nor the weight read";
    bench.dialog.OnTimer(ui::TIMER_WORK);
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, 2u);
    bench.dialog.OnTimer(ui::TIMER_TEST);
    EXPECT_EQ(Text(ui::IDC_COUNTS), "42");

    scale.QueuePacket({1, 0, 0, 0});
    const int writesBefore = bench.window.setTextCalls;
    for (const int other : {0, 2, 4, 1001, -1}) bench.dialog.OnTimer(other);
    EXPECT_EQ(scale.QueuedPackets(), 1u) << "no exchange for a foreign timer";
    EXPECT_EQ(bench.window.setTextCalls, writesBefore) << "no refresh either";
}

}  // namespace
