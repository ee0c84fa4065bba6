#include "ui/terminal/EventPump.h"

#include <algorithm>
#include <limits>

namespace ui::terminal {

bool EventPump::DeliverDue() {
    const std::vector<int> due = timers_.TakeDue(clock_());
    if (due.empty()) return false;
    if (inTick_ || !handler_) return false;  // dropped: never a tick inside a tick
    for (const int id : due) {
        // A handler earlier in this round may have stopped this timer.
        if (!timers_.IsRunning(id)) continue;
        inTick_ = true;
        handler_(id);
        inTick_ = false;
    }
    return true;
}

Key EventPump::Next() {
    if (DeliverDue()) return Key{};
    int timeout = -1;
    if (const auto deadline = timers_.NextDeadline()) {
        const std::int64_t wait = std::max<std::int64_t>(0, *deadline - clock_());
        timeout = static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max()));
    }
    if (const auto key = terminal_.ReadKey(timeout)) return *key;
    DeliverDue();
    return Key{};
}

}  // namespace ui::terminal
