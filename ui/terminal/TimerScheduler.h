// Periodic timers told apart by id, kept as deadlines on a millisecond
// clock that the caller reads (the steady clock in the program, a hand-moved
// one in tests). A timer that fell due any number of times while nobody
// looked is due once; its next deadline is then a whole period from the
// moment it was taken, so late ticks never pile up.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

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
    std::optional<Milliseconds> NextDeadline() const;

    // The ids of the timers due at `now`, each once, in id order; each of
    // them is rescheduled one period after `now`.
    std::vector<int> TakeDue(Milliseconds now);

private:
    struct Timer {
        Milliseconds period;
        Milliseconds deadline;
    };
    std::map<int, Timer> timers_;
};

}  // namespace ui::terminal
