#include "ui/terminal/TimerScheduler.h"

#include <algorithm>

namespace ui::terminal {

void TimerScheduler::Start(int id, unsigned periodMs, Milliseconds now) {
    // A period of 0 would fire on every pass of the loop; Windows raises
    // such timers to its minimum, so do the same.
    const Milliseconds period = std::max<Milliseconds>(periodMs, 10);
    timers_[id] = Timer{period, now + period};
}

void TimerScheduler::Stop(int id) { timers_.erase(id); }

std::optional<TimerScheduler::Milliseconds> TimerScheduler::NextDeadline() const {
    std::optional<Milliseconds> next;
    for (const auto& [id, timer] : timers_)
        if (!next || timer.deadline < *next) next = timer.deadline;
    return next;
}

std::vector<int> TimerScheduler::TakeDue(Milliseconds now) {
    std::vector<int> due;
    for (auto& [id, timer] : timers_) {
        if (timer.deadline <= now) {
            due.push_back(id);
            timer.deadline = now + timer.period;
        }
    }
    return due;
}

}  // namespace ui::terminal
