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
    EXPECT_FALSE(timers.TakeDue(99));
    EXPECT_EQ(timers.TakeDue(100), 1);
    EXPECT_EQ(timers.NextDeadline(), 200);
    EXPECT_EQ(timers.TakeDue(300), 1);  // due since 200, 3 only since 250
    EXPECT_EQ(timers.TakeDue(300), 3);
    EXPECT_FALSE(timers.TakeDue(300));
    timers.Postpone(3, 320);
    timers.Postpone(7, 320);  // not running: nothing happens
    EXPECT_FALSE(timers.IsRunning(7));
    timers.Start(1, 1000, 300);  // restarted with a new period
    EXPECT_EQ(timers.NextDeadline(), 570);  // 3 is due a period after 320
    timers.Stop(3);
    EXPECT_FALSE(timers.IsRunning(3));
    EXPECT_EQ(timers.NextDeadline(), 1300);
}

TEST(TimerSchedulerTest, MissedTicksAreMergedIntoOneAndTheNextIsAPeriodLater) {
    TimerScheduler timers;
    timers.Start(1, 100, 0);
    EXPECT_EQ(timers.TakeDue(450), 1);  // four periods late: once
    EXPECT_FALSE(timers.TakeDue(450));
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
    // Each tick takes 350 ms, as an exchange with a slow scale could: the
    // next one falls due a period after it ended.
    pump.SetTickHandler([this](int) {
        ticks.push_back(now);
        now += 350;
    });
    pump.StartTimer(3, 100);
    for (int i = 0; i < 4; ++i) static_cast<void>(pump.Next());
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 550, 1000, 1450}));
}

TEST_F(PumpTest, KeysTypedWhileEveryTickWaitsOutItsTimeOutAreReadBeforeTheNextTick) {
    // A scale that does not answer: every tick waits its whole time-out
    // (work mode: one read of 100 ms; test mode: a write and a read of
    // 200 ms each), and a key comes in during the first tick.
    struct Case {
        unsigned period;
        std::int64_t tickMs;
        std::vector<int> timers;
    };
    for (const Case& c : {Case{100, 100, {3}}, Case{100, 400, {1}}, Case{10, 100, {1, 3}}}) {
        SCOPED_TRACE(std::to_string(c.tickMs) + " ms per tick");
        std::int64_t clock = 0;
        FakeTerminal keys{30, 80, clock};
        EventPump slow{keys, [&clock] { return clock; }};
        std::vector<std::int64_t> at;
        slow.SetTickHandler([&](int) {
            at.push_back(clock);
            clock += c.tickMs;
        });
        for (const int id : c.timers) slow.StartTimer(id, c.period);
        keys.KeyAt(c.period + 1, Key::Char('d', true));
        keys.KeyAt(c.period + 2, Key::Char(CHAR_CTRL_Q));
        std::vector<int> read;
        for (int call = 0; call < 20 && read.size() < 2; ++call)
            if (const Key k = slow.Next(); k.type != Key::Type::None) read.push_back(k.code);
        EXPECT_EQ(read, (std::vector<int>{'d', CHAR_CTRL_Q}));
        // One tick, and no other before both keys.
        EXPECT_EQ(at.size(), 1u);
    }
}

TEST_F(PumpTest, AHandlerThatStopsAnotherDueTimerPreventsItsTick) {
    std::vector<int> ids;
    pump.SetTickHandler([&](int id) {
        ids.push_back(id);
        pump.StopTimer(3);
        pump.StopTimer(1);
    });
    pump.StartTimer(1, 100);
    pump.StartTimer(3, 100);
    static_cast<void>(pump.Next());
    static_cast<void>(pump.Next());
    EXPECT_EQ(ids, std::vector<int>{1});
}

}  // namespace
}  // namespace ui::terminal
