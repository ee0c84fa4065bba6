#include "platform/SystemCalls.h"

namespace platform {

// The process's default implementation: the real system on Windows, the
// emulated kernel elsewhere. Each build defines it once.
SystemCalls& DefaultSystemCalls();

namespace {
SystemCalls* current = nullptr;
}

SystemCalls& Sys() {
    if (current == nullptr) current = &DefaultSystemCalls();
    return *current;
}

ScopedSys::ScopedSys(SystemCalls& calls) : previous_(current) { current = &calls; }

ScopedSys::~ScopedSys() { current = previous_; }

}  // namespace platform
