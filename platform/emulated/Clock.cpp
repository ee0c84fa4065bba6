#include "platform/emulated/Clock.h"

#include <chrono>

namespace platform::emulated {

RealClock::RealClock() : origin_(std::chrono::steady_clock::now()) {}

Micros RealClock::Now() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now() - origin_).count();
}

void RealClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Micros until) {
    using namespace std::chrono;
    const auto deadline = origin_ + microseconds(until);
    wake.wait_until(lock, deadline);
}

void VirtualClock::WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, Micros until) {
    if (until > now_) now_ = until;
}

}  // namespace platform::emulated
