#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FakeTerminal.h"
#include "ui/terminal/EventPump.h"
#include "ui/terminal/TimerScheduler.h"

namespace ui::terminal {
namespace {

using testing::FakeTerminal;

TEST(TimerSchedulerTest, TimersFallDueEachPeriodAndStopOrRestart) {
    TimerScheduler timers;
    timers.Stop(7);  // not running: nothing happens
    EXPECT_FALSE(timers.NextDeadline());
    timers.Start(1, 100, 0);
    timers.Start(3, 250, 0);
    EXPECT_TRUE(timers.TakeDue(99).empty());
    EXPECT_EQ(timers.TakeDue(100), std::vector<int>{1});
    EXPECT_EQ(timers.NextDeadline(), 200);
    EXPECT_EQ(timers.TakeDue(300), (std::vector<int>{1, 3}));
    timers.Start(1, 1000, 300);  // restarted with a new period
    EXPECT_EQ(timers.NextDeadline(), 550);  // 3 is due a period after 300
    timers.Stop(3);
    EXPECT_FALSE(timers.IsRunning(3));
    EXPECT_EQ(timers.NextDeadline(), 1300);
}

TEST(TimerSchedulerTest, MissedTicksAreMergedIntoOneAndTheNextIsAPeriodLater) {
    TimerScheduler timers;
    timers.Start(1, 100, 0);
    EXPECT_EQ(timers.TakeDue(450), std::vector<int>{1});  // four periods late: once
    EXPECT_TRUE(timers.TakeDue(450).empty());
    EXPECT_EQ(timers.NextDeadline(), 550);
}

class PumpTest : public ::testing::Test {
protected:
    std::int64_t now = 0;
    FakeTerminal terminal{30, 80, now};
    EventPump pump{terminal, [this] { return now; }};
    std::vector<std::int64_t> ticks;
};

TEST_F(PumpTest, WaitsForAKeyOnlyUntilTheNextDeadline) {
    pump.SetTickHandler([this](int) { ticks.push_back(now); });
    pump.StartTimer(3, 100);
    terminal.KeyAt(250, Key::Char('x'));
    EXPECT_EQ(pump.Next().type, Key::Type::None);  // a tick at 100
    EXPECT_EQ(pump.Next().type, Key::Type::None);  // 200
    EXPECT_TRUE(pump.Next().IsChar('x'));
    EXPECT_EQ(now, 250);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 200}));
}

TEST_F(PumpTest, ASlowHandlerDoesNotBuildUpABacklog) {
    // Each tick takes 350 ms, as an exchange with a slow scale could.
    pump.SetTickHandler([this](int) {
        ticks.push_back(now);
        now += 350;
    });
    pump.StartTimer(3, 100);
    for (int i = 0; i < 4; ++i) pump.Next();
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 450, 800, 1150}));
}

TEST_F(PumpTest, NoTickIsDeliveredInsideAnotherTick) {
    int depth = 0, deepest = 0;
    pump.SetTickHandler([&](int) {
        deepest = std::max(deepest, ++depth);
        ticks.push_back(now);
        if (ticks.size() == 1) {
            // The handler opens a box that waits 450 ms for a key.
            terminal.KeyAt(now + 450, Key::Char(CHAR_RETURN));
            while (!pump.Next().IsEnter()) {
            }
        }
        --depth;
    });
    pump.StartTimer(1, 100);
    while (ticks.size() < 3) pump.Next();
    EXPECT_EQ(deepest, 1);
    // 200 to 500 fell due inside the first tick and were dropped.
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 600, 700}));
}

TEST_F(PumpTest, AHandlerThatStopsATimerDueInTheSameRoundPreventsItsTick) {
    std::vector<int> ids;
    pump.SetTickHandler([&](int id) {
        ids.push_back(id);
        pump.StopTimer(3);
    });
    pump.StartTimer(1, 100);
    pump.StartTimer(3, 100);
    pump.Next();
    EXPECT_EQ(ids, std::vector<int>{1});
}

}  // namespace
}  // namespace ui::terminal
