// The clock the emulated kernel waits on: real while the program runs,
// virtual in tests, where a wait with a time-out jumps straight to the next
// device event or to the time-out, so no test ever sleeps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform::emulated {

using Micros = std::int64_t;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Micros Now() const = 0;
    // Waits until `until`, or until `wake` is notified (real clock only).
    // `lock` is held on entry and on return.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Micros until) = 0;
    // A virtual clock cannot wait for something that no device will ever do.
    virtual bool IsVirtual() const = 0;
};

// Counts from its own construction, so that devices built with it start
// their life at time 0.
class RealClock final : public Clock {
public:
    RealClock();
    Micros Now() const override;
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Micros until) override;
    bool IsVirtual() const override { return false; }

private:
    std::chrono::steady_clock::time_point origin_;
};

class VirtualClock final : public Clock {
public:
    Micros Now() const override { return now_; }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Micros until) override;
    bool IsVirtual() const override { return true; }
    // Moves time forward by hand (tests).
    void Advance(Micros delta) { now_ += delta; }

private:
    Micros now_ = 0;
};

}  // namespace platform::emulated
