// The one place where the front-end waits: for the next key, with a time-out
// until the next timer deadline, delivering the ticks that fall due. Every
// modal loop (main window, message box, About box, file dialog, system menu)
// waits here, so ticks go on while any of them is open. A tick is never
// delivered inside another tick's handler: ticks that fall due while one is
// being handled (say, behind a message box the handler opened) are dropped.
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

    // Delivers the ticks that are due, or waits for a key until the next
    // deadline. Returns the key, or a key of Type::None when the call ended
    // with ticks or a time-out (the caller redraws and calls again).
    Key Next();

    bool InTick() const { return inTick_; }

private:
    bool DeliverDue();

    Terminal& terminal_;
    Clock clock_;
    TimerScheduler timers_;
    TickHandler handler_;
    bool inTick_ = false;
};

}  // namespace ui::terminal
