#include "platform/emulated/Clock.h"

#include <chrono>

namespace platform::emulated {

Micros RealClock::Now() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Micros until) {
    using namespace std::chrono;
    const auto deadline = steady_clock::time_point(microseconds(until));
    wake.wait_until(lock, deadline);
}

void VirtualClock::WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, Micros until) {
    if (until > now_) now_ = until;
}

}  // namespace platform::emulated
