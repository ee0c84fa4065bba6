// The one place where the front-end waits: for the next key, with a time-out
// until the next timer deadline, delivering the ticks that fall due. Every
// modal loop (main window, message box, About box, file dialog, system menu)
// waits here, so ticks go on while any of them is open, also behind a box
// that a tick's handler opened (as Windows delivers its timers to a message
// box's loop): the dialog itself drops a tick that comes inside another.
// Keys come first: between any two ticks the keys already typed are read.
#pragma once

#include <cstdint>
#include <functional>

#include "ui/terminal/Terminal.h"
#include "ui/terminal/TimerScheduler.h"

namespace ui::terminal {

class EventPump {
public:
    using Clock = std::function<std::int64_t()>;  // milliseconds, monotonic
    using TickHandler = std::function<void(int id)>;

    EventPump(Terminal& terminal, Clock clock) : terminal_(terminal), clock_(std::move(clock)) {}
    EventPump(const EventPump&) = delete;
    EventPump& operator=(const EventPump&) = delete;

    void SetTickHandler(TickHandler handler) { handler_ = std::move(handler); }

    void StartTimer(int id, unsigned periodMs) { timers_.Start(id, periodMs, clock_()); }
    void StopTimer(int id) { timers_.Stop(id); }
    void StopAllTimers() { timers_ = TimerScheduler{}; }
    bool IsTimerRunning(int id) const { return timers_.IsRunning(id); }

    // Waits for a key until the next deadline (only looks when a timer is
    // already due), or else delivers the one tick that is due. Returns the
    // key, or a key of Type::None when the call ended with a tick or a
    // time-out (the caller redraws and calls again).
    [[nodiscard]] Key Next();

private:
    void DeliverDue();

    Terminal& terminal_;
    Clock clock_;
    TimerScheduler timers_;
    TickHandler handler_;
};

}  // namespace ui::terminal
