#include <gtest/gtest.h>

#include "ui/terminal/TimerScheduler.h"

namespace ui::terminal {
namespace {

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

}  // namespace
}  // namespace ui::terminal
