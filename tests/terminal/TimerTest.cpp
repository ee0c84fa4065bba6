#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FakeTerminal.h"
#include "ui/terminal/EventPump.h"
#include "ui/terminal/TimerScheduler.h"

namespace ui::terminal {
namespace {

using testing::FakeTerminal;

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

// The pump with ticks that take `tickMs` each (a scale that does not answer
// waits out its time-out); ticks and keys are noted in the order served.
class PumpTest : public ::testing::Test {
protected:
    PumpTest() {
        pump.SetTickHandler([this](int id) {
            log.push_back("tick " + std::to_string(id) + " at " + std::to_string(now));
            now += tickMs;
            if (onTick) onTick(id);
        });
    }
    void ReadKeys(int count) {
        while (count > 0)
            if (const Key key = pump.Next(); key.type != Key::Type::None) {
                log.push_back(std::string(1, static_cast<char>(key.code)));
                --count;
            }
    }
    std::int64_t now = 0, tickMs = 100;
    FakeTerminal terminal{24, 80, now};
    EventPump pump{terminal, [this] { return now; }};
    std::vector<std::string> log;
    std::function<void(int)> onTick;
};

TEST_F(PumpTest, KeysTypedDuringATickAreReadBeforeTheOtherTimersThatFellDue) {
    pump.StartTimer(1, 10);
    pump.StartTimer(3, 10);
    terminal.KeyAt(11, Key::Char('a'));
    terminal.KeyAt(12, Key::Char('b'));
    ReadKeys(2);
    EXPECT_EQ(log, (std::vector<std::string>{"tick 1 at 10", "a", "b"}));
}

TEST_F(PumpTest, ASlowTickPostponesTheNextAndAHandlerCanStopAnotherDueTimer) {
    tickMs = 350;
    onTick = [&](int) { pump.StopTimer(3); };
    pump.StartTimer(1, 100);
    pump.StartTimer(3, 100);
    terminal.KeyAt(1460, Key::Char('a'));
    ReadKeys(1);
    EXPECT_EQ(log,
              (std::vector<std::string>{"tick 1 at 100", "tick 1 at 550", "tick 1 at 1000", "tick 1 at 1450", "a"}));
}

}  // namespace
}  // namespace ui::terminal
