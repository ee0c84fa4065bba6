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

std::optional<int> TimerScheduler::TakeDue(Milliseconds now) {
    Timer* earliest = nullptr;
    int id = 0;
    for (auto& [timerId, timer] : timers_) {
        if (timer.deadline > now || (earliest && earliest->deadline <= timer.deadline)) continue;
        earliest = &timer;
        id = timerId;
    }
    if (!earliest) return std::nullopt;
    earliest->deadline = now + earliest->period;
    return id;
}

void TimerScheduler::Postpone(int id, Milliseconds now) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second.deadline = now + it->second.period;
}

}  // namespace ui::terminal
