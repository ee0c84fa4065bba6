// Work mode through the whole program below the front-end: packets from a
// scripted device, read by the real link on the emulated kernel, counted by
// the window's timer dispatch. A whole shift on the simulated scale is
// tests/longrun/ShiftTest.
#include "scale/WorkMode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/ScaleTestBench.h"

namespace {

using platform::MessageIcon;
using platform::MessageResult;
using scale::LINE_COUNT;
using testing_support::ScaleTestBench;

class WorkModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(2.0f, {});
        bench.StartUp();
        bench.window.messages.clear();
        bench.Press(platform::IDC_START_WORK);
    }

    // The scale has the packet ready; the next tick takes it.
    void Deliver(std::uint8_t lineByte, std::uint8_t weight, std::uint8_t state = 2) {
        device.QueuePacket({state, weight, 0, lineByte, 0, 0, 0, 0}, bench.clock.Now());
        bench.Tick(platform::TIMER_WORK);
    }

    std::string Shown(int id) const { return bench.window.GetControlText(id); }
    std::string CountShown(int line) const { return Shown(platform::IDC_LINE_COUNT_1 + line - 1); }
    std::string KilogramsShown(int line) const { return Shown(platform::IDC_LINE_KILOGRAMS_1 + line - 1); }
    const scale::LineStatistics& Statistics() { return bench.dialog.Values().statistics; }

    // Every statistic zero and every one of the eighteen boxes "0".
    void ExpectNothingCounted() {
        for (int line = 1; line <= LINE_COUNT; ++line) {
            EXPECT_EQ(CountShown(line), "0") << "line " << line;
            EXPECT_EQ(KilogramsShown(line), "0") << "line " << line;
        }
        EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "0");
        EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "0");
        EXPECT_EQ(Statistics().totalCount, 0u);
        EXPECT_EQ(Statistics().totalKilograms, 0.0);
    }

    void ExpectModeButtons(bool working) {
        EXPECT_EQ(bench.window.IsControlEnabled(platform::IDC_START_WORK), !working);
        EXPECT_EQ(bench.window.IsControlEnabled(platform::IDC_STOP_WORK), working);
        EXPECT_EQ(bench.window.IsControlEnabled(platform::IDC_CALIBRATE), !working);
        EXPECT_EQ(bench.window.IsControlEnabled(platform::IDC_START_TEST), !working);
        EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_STOP_TEST));
        EXPECT_EQ(bench.window.IsControlEnabled(platform::IDC_RESTART), working);
        EXPECT_EQ(bench.window.TimerRunning(platform::TIMER_WORK), working);
    }

    ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
};

TEST_F(WorkModeTest, StateByteShowsTheScaleCycleInWords) {
    // The weight and line bytes of a packet outside state 2 mean nothing.
    Deliver(0x01, 95, 0);
    EXPECT_EQ(Shown(platform::IDC_STATE), "Esperando sincronismo...");
    Deliver(0x01, 95, 1);
    EXPECT_EQ(Shown(platform::IDC_STATE), "Tomando Taras");
    Deliver(0x01, 95, 5);
    EXPECT_EQ(Shown(platform::IDC_STATE), "Tomando Taras") << "an unknown state leaves the words as they were";
    ExpectNothingCounted();
    Deliver(0x01, 95, 2);
    EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando");
    Deliver(0x01, 95, 5);
    EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "1") << "an unknown state counts nothing";
}

TEST_F(WorkModeTest, EachSingleLineBitCountsOnItsOwnLineOnly) {
    const char* kilograms[] = {"0.02", "0.04", "0.06", "0.08", "0.10", "0.12", "0.14", "0.16"};
    for (int line = 1; line <= LINE_COUNT; ++line) {
        SCOPED_TRACE("bit of line " + std::to_string(line));
        Deliver(static_cast<std::uint8_t>(1u << (line - 1)), static_cast<std::uint8_t>(10 * line));
        for (int other = 1; other <= LINE_COUNT; ++other) {
            EXPECT_EQ(CountShown(other), other <= line ? "1" : "0") << "line " << other;
            EXPECT_EQ(KilogramsShown(other), other <= line ? kilograms[other - 1] : "0") << "line " << other;
        }
        EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), std::to_string(line));
    }
    EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "0.72");
}

TEST_F(WorkModeTest, LineByteWithoutExactlyOneBitCountsNothing) {
    for (const std::uint8_t lineByte : {0x00, 0x03, 0x81, 0xFF}) {
        Deliver(lineByte, 95);
        EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando") << int{lineByte};
    }
    ExpectNothingCounted();
}

TEST_F(WorkModeTest, KilogramsFromCountsAndFactor) {
    for (int i = 0; i < 10; ++i) Deliver(0x01, 95);  // 95 counts at 2 g
    EXPECT_EQ(CountShown(1), "10");
    EXPECT_EQ(KilogramsShown(1), "1.90");
    Deliver(0x02, 255);  // the heaviest item the byte can carry
    EXPECT_EQ(KilogramsShown(2), "0.51");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "11");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "2.41");
}

TEST_F(WorkModeTest, ItemTouchesOnlyItsLineAndTheTotals) {
    Deliver(0x01, 95);
    // Marks this tick must not recompute: another line's text, and a line's
    // kilograms the totals must not be summed from.
    auto& statistics = bench.dialog.Values().statistics;
    statistics.lineCountText[4] = "x";
    statistics.lineKilograms[6] = 5.0;
    Deliver(0x01, 95);
    EXPECT_EQ(CountShown(5), "x");
    EXPECT_EQ(KilogramsShown(7), "0");
    EXPECT_EQ(KilogramsShown(1), "0.38");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "0.38");
}

TEST(WorkModeKilograms, AShiftOfItemsIsSummedWithoutDrift) {
    // 8 hours at 10 items per second: 32-bit sums would show 54851.23.
    scale::LineStatistics statistics;
    for (int i = 0; i < 288'000; ++i) scale::CountItem(statistics, 1, 95, 2.0f);
    EXPECT_EQ(statistics.totalCountText, "288000");
    EXPECT_EQ(statistics.totalKilogramsText, "54720.00");
    EXPECT_EQ(statistics.lineKilogramsText[0], "54720.00");
}

TEST(WorkModeKilograms, TextsReadExactlyAsPrintfWouldWriteThemAtTies) {
    // Sums of every kind are compared with "%.2f" by the work-mode fuzz target.
    char expected[64];
    for (double tie : {0.005, 0.015, 0.125, 0.375, 2.675, 1e15 + 0.125}) {
        scale::LineStatistics one;
        one.lineKilograms[0] = tie - 0.001;
        scale::CountItem(one, 1, 1, 1.0f);
        std::snprintf(expected, sizeof expected, "%.2f", one.lineKilograms[0]);
        EXPECT_EQ(one.lineKilogramsText[0], expected) << tie;
    }
}

TEST_F(WorkModeTest, FailedReadChangesNothingButRefreshesTheWindow) {
    Deliver(0x01, 95);
    bench.window.texts[platform::IDC_TOTAL_COUNT] = "stale";
    bench.window.texts[platform::IDC_STATE] = "stale";
    bench.Tick(platform::TIMER_WORK);  // nothing comes within the 100 ms wait
    EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "1");
    EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando");
    EXPECT_EQ(KilogramsShown(1), "0.19");
    EXPECT_EQ(Statistics().totalCount, 1u);
    EXPECT_TRUE(bench.window.messages.empty()) << "a quiet scale is not an error";
}

TEST_F(WorkModeTest, StopKeepsTheStatisticsAndStartGoesOnCounting) {
    ExpectModeButtons(true);
    EXPECT_EQ(bench.window.timers.at(platform::TIMER_WORK), 100u);
    Deliver(0x01, 95);
    Deliver(0x01, 95);
    bench.Press(platform::IDC_STOP_WORK);
    ExpectModeButtons(false);
    EXPECT_EQ(Shown(platform::IDC_STATE), "") << "the state box empties at once";
    EXPECT_EQ(CountShown(1), "2");
    bench.Press(platform::IDC_START_WORK);
    ExpectModeButtons(true);
    Deliver(0x01, 95);
    EXPECT_EQ(CountShown(1), "3");
    EXPECT_EQ(KilogramsShown(1), "0.57");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "3");
}

TEST_F(WorkModeTest, ResetAsksFirstAndCancelChangesNothing) {
    Deliver(0x01, 95);
    Deliver(0x80, 200);
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(platform::IDC_RESET);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Se borraran los datos , quiere continuar?");
    EXPECT_EQ(bench.window.messages[0].caption, "Reset de Estadísticas");
    EXPECT_EQ(bench.window.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(bench.window.messages[0].buttons, platform::MessageButtons::OkCancel);
    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(KilogramsShown(8), "0.40");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "0.59");
    EXPECT_EQ(Statistics().totalCount, 2u);
}

TEST_F(WorkModeTest, ResetDuringWorkErasesWhatCameBehindItsBoxAndCountsAfresh) {
    Deliver(0x01, 95);
    Deliver(0x08, 95);
    const std::size_t writesBefore = device.Writes().size();
    std::string shownBehindBox;
    bench.window.whileMessageOpen = [&](const testing_support::MessageRecord&) {
        Deliver(0x08, 50);
        Deliver(0x08, 50);
        shownBehindBox = Shown(platform::IDC_TOTAL_COUNT);
    };
    bench.Press(platform::IDC_RESET);  // answered OK
    bench.window.whileMessageOpen = nullptr;
    EXPECT_EQ(shownBehindBox, "4") << "counting goes on while the question is open";
    ExpectNothingCounted();
    EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando");
    EXPECT_EQ(device.Writes().size(), writesBefore) << "a reset sends nothing to the scale";
    ExpectModeButtons(true);

    Deliver(0x10, 95);
    EXPECT_EQ(CountShown(5), "1");
    EXPECT_EQ(KilogramsShown(5), "0.19");
    EXPECT_EQ(KilogramsShown(4), "0") << "a line with nothing since the reset reads 0, not 0.00";
    EXPECT_EQ(Shown(platform::IDC_TOTAL_COUNT), "1");
    EXPECT_EQ(Shown(platform::IDC_TOTAL_KILOGRAMS), "0.19");
}

TEST_F(WorkModeTest, RestartSendsItsCommandAndReportsAFailure) {
    Deliver(0x01, 95);
    const std::size_t writesBefore = device.Writes().size();
    bench.Press(platform::IDC_RESTART);
    ASSERT_EQ(device.Writes().size(), writesBefore + 1);
    EXPECT_EQ(device.Writes().back()[0], 3);
    EXPECT_TRUE(bench.window.messages.empty());

    device.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    bench.Press(platform::IDC_RESTART);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "No pudo enviarse el comando");
    EXPECT_EQ(bench.window.messages[0].caption, "Reempezar");
    EXPECT_EQ(bench.window.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(CountShown(1), "1");
    EXPECT_EQ(Shown(platform::IDC_STATE), "Trabajando");
    ExpectModeButtons(true);
}

}  // namespace
