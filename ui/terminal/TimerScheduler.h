// Periodic timers told apart by id, kept as deadlines on a millisecond
// clock that the caller reads (the steady clock in the program, a hand-moved
// one in tests). A timer that fell due any number of times while nobody
// looked is due once; its next deadline is then a whole period from the
// moment it was taken (or, with Postpone, from the end of its tick), so late
// ticks never pile up.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace ui::terminal {

class TimerScheduler {
public:
    using Milliseconds = std::int64_t;

    // Starts the timer, or restarts it with the new period.
    void Start(int id, unsigned periodMs, Milliseconds now);
    // Does nothing when the timer does not run.
    void Stop(int id);
    bool IsRunning(int id) const { return timers_.count(id) != 0; }

    // The earliest deadline of the running timers.
    [[nodiscard]] std::optional<Milliseconds> NextDeadline() const;

    // The timer due at `now` that has waited longest (the lower id first on
    // a tie), once however late it is; it is rescheduled one period after
    // `now`. Nothing when no timer is due.
    [[nodiscard]] std::optional<int> TakeDue(Milliseconds now);

    // Puts a running timer's next deadline a whole period after `now`: a
    // tick that took longer than its period is not followed at once by the
    // next one.
    void Postpone(int id, Milliseconds now);

private:
    struct Timer {
        Milliseconds period;
        Milliseconds deadline;
    };
    std::map<int, Timer> timers_;
};

}  // namespace ui::terminal
