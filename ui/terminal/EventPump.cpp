#include "ui/terminal/EventPump.h"

#include <algorithm>
#include <limits>

namespace ui::terminal {

void EventPump::DeliverDue() {
    const std::optional<int> due = timers_.TakeDue(clock_());
    if (!due || !handler_) return;
    handler_(*due);
    // A tick can take its whole period and more (an exchange with a scale
    // that does not answer waits out its time-out): the next one is a
    // period after this one ended, so the keys get their turn.
    timers_.Postpone(*due, clock_());
}

Key EventPump::Next() {
    // Input is served before timers, as on Windows: the keys typed while a
    // tick was being handled are all read before the next tick.
    const std::int64_t now = clock_();
    const auto deadline = timers_.NextDeadline();
    int timeout = -1;
    if (deadline) {
        const std::int64_t wait = std::max<std::int64_t>(0, *deadline - now);
        timeout = static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max()));
    }
    if (const auto key = terminal_.ReadKey(timeout)) return *key;
    DeliverDue();
    return Key{};
}

}  // namespace ui::terminal
