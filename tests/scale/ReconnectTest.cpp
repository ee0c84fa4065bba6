// A scale pulled out and plugged in again on the emulated driver, in each mode of the window.
#include <gtest/gtest.h>

#include "scale/LinkKeeper.h"
#include "tests/support/ScaleTestBench.h"

using namespace ui;

namespace {

// Seen in the tick that fails; sought once a second, no tick blocking longer than one exchange; back with the
// limits in force (the last sent: those start-up sent, not those typed since), the mode goes on.
TEST(ReconnectTest, SeenAtOnceSoughtOnceASecondBackWithTheLimitsInForceAndTheModeGoesOn) {
    struct Row {
        int startButton, stopButton, timer;  // stopButton: pressed once the scale is lost (0: none)
        bool typedUnsent;                    // new limits in every field, read but never sent
    };
    for (const Row& row : {Row{IDC_START_WORK, 0, TIMER_WORK, true}, Row{IDC_START_TEST, 0, TIMER_TEST, false},
                           Row{IDC_START_WORK, IDC_STOP_WORK, TIMER_RECONNECT, false}}) {
        SCOPED_TRACE(row.timer);
        testing_support::ScaleTestBench b;
        b.StoreCalibration(2.0f, {20, 40, 60, 80, 100, 120, 140, 160});  // shown: counts 10, 20, ... 80
        sim::ScalePlug& plug = b.PlugSimulated();
        b.StartUp();
        b.Press(row.startButton);
        for (int i = 0; row.typedUnsent && i < 8; ++i) b.Type(LIMIT_FIELD_IDS[static_cast<std::size_t>(i)], "300");
        const int modeTimer = row.stopButton != 0 ? TIMER_WORK : row.timer;
        for (int i = 0; i < 40; ++i) b.Tick(modeTimer);
        const std::uint32_t counted = b.dialog.Values().statistics.totalCount;
        EXPECT_EQ(counted > 0, modeTimer == TIMER_WORK);

        plug.Toggle();
        b.Tick(modeTimer);
        EXPECT_EQ(b.window.GetControlText(IDC_STATE) + b.window.GetControlText(IDC_GRAMS), scale::SCALE_LOST_TEXT);
        if (row.stopButton != 0) b.Press(row.stopButton);
        EXPECT_EQ(b.window.TimerRunning(TIMER_RECONNECT), row.timer == TIMER_RECONNECT);
        EXPECT_EQ(b.window.GetControlText(IDC_STATE), scale::SCALE_LOST_TEXT);
        int lists = 0;
        b.kernel.SetFaultHook([&](const char* call) -> platform::DWORD {
            lists += std::string_view(call) == "SetupDiGetClassDevsA";
            return 0;
        });
        const auto start = b.clock.Now();  // each attempt blocks the window no longer than one exchange
        for (int i = 0; i < 30; ++i) b.Tick(row.timer);
        EXPECT_LE(b.clock.Now() - start, (30 * TIMER_PERIOD_MS + 3 * scale::READ_WEIGHT_TIMEOUT_MS) * 1000);
        plug.Toggle();
        for (int i = 0; i < 10; ++i) b.Tick(row.timer);
        EXPECT_EQ(lists, 4);
        EXPECT_EQ(plug.Scale().LastLimits(), (scale::LimitCounts{10, 20, 30, 40, 50, 60, 70, 80}));
        EXPECT_FALSE(b.window.TimerRunning(TIMER_RECONNECT));
        for (int i = 0; i < 40; ++i) b.Tick(row.timer);
        EXPECT_EQ(b.window.GetControlText(IDC_STATE), row.timer == TIMER_WORK ? "Trabajando" : "");
        EXPECT_EQ(b.dialog.Values().statistics.totalCount > counted, row.timer == TIMER_WORK) << "the same statistics";
        EXPECT_EQ(b.shift.Figures().totalCount, b.dialog.Values().statistics.totalCount);
        EXPECT_NE(b.window.GetControlText(IDC_GRAMS) == "", row.timer == TIMER_TEST) << "test mode reads again";
    }
}

}  // namespace
