#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "FakeTerminal.h"
#include "ui/terminal/EventPump.h"
#include "ui/terminal/TimerScheduler.h"

namespace ui::terminal {
namespace {

using testing::FakeTerminal;
using Times = std::vector<std::int64_t>;

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

// Runs the pump with the timers given until `keys` keys were read; each tick
// takes `tickMs` (a scale that does not answer waits out its time-out).
struct PumpRun {
    Times ticks;
    std::vector<int> ids, keys;
};
PumpRun RunPump(std::vector<int> timers, unsigned period, std::int64_t tickMs,
                const std::vector<std::pair<std::int64_t, Key>>& script, std::size_t keys, std::size_t ticks = 0,
                const std::function<void(EventPump&)>& onTick = {}) {
    std::int64_t now = 0;
    FakeTerminal terminal{30, 80, now};
    EventPump pump{terminal, [&now] { return now; }};
    PumpRun run;
    pump.SetTickHandler([&](int id) {
        run.ticks.push_back(now);
        run.ids.push_back(id);
        now += tickMs;
        if (onTick) onTick(pump);
    });
    for (const int id : timers) pump.StartTimer(id, period);
    for (const auto& [at, key] : script) terminal.KeyAt(at, key);
    for (int call = 0; call < 50 && (run.keys.size() < keys || run.ticks.size() < ticks); ++call)
        if (const Key k = pump.Next(); k.type != Key::Type::None) run.keys.push_back(k.code);
    return run;
}

TEST(PumpTest, AKeyIsAwaitedOnlyUntilTheNextDeadlineAndASlowTickPostponesTheNext) {
    const PumpRun waiting = RunPump({3}, 100, 0, {{250, Key::Char('x')}}, 1);
    EXPECT_EQ(waiting.ticks, (Times{100, 200}));
    EXPECT_EQ(waiting.keys, std::vector<int>{'x'});
    // Each tick takes 350 ms: the next falls due a period after it ended.
    EXPECT_EQ(RunPump({3}, 100, 350, {}, 0, 4).ticks, (Times{100, 550, 1000, 1450}));
}

TEST(PumpTest, KeysTypedWhileEveryTickWaitsOutItsTimeOutAreReadBeforeTheNextTick) {
    // Work mode waits one read of 100 ms; test mode a write and a read of
    // 200 ms each. A key comes in during the first tick.
    struct Case {
        unsigned period;
        std::int64_t tickMs;
        std::vector<int> timers;
    };
    for (const Case& c : {Case{100, 100, {3}}, Case{100, 400, {1}}, Case{10, 100, {1, 3}}}) {
        SCOPED_TRACE(std::to_string(c.tickMs) + " ms per tick");
        const PumpRun run = RunPump(c.timers, c.period, c.tickMs,
                                    {{c.period + 1, Key::Char('d', true)}, {c.period + 2, Key::Char(CHAR_CTRL_Q)}}, 2);
        EXPECT_EQ(run.keys, (std::vector<int>{'d', CHAR_CTRL_Q}));
        EXPECT_EQ(run.ticks.size(), 1u) << "no other tick before both keys";
    }
}

TEST(PumpTest, AHandlerThatStopsAnotherDueTimerPreventsItsTick) {
    const auto stopBoth = [](EventPump& pump) { pump.StopTimer(3), pump.StopTimer(1); };
    EXPECT_EQ(RunPump({1, 3}, 100, 0, {}, 0, 2, stopBoth).ids, std::vector<int>{1});
}

}  // namespace
}  // namespace ui::terminal
