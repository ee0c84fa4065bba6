// The process's system calls where there is no real USB driver (every system
// but Windows): an emulated kernel with no devices until the application
// attaches some. Windows builds take platform/win32's instead.
#include "platform/emulated/EmulatedKernel.h"

namespace platform {

SystemCalls& DefaultSystemCalls() {
    static emulated::RealClock clock;
    static emulated::EmulatedKernel kernel(clock);
    return kernel;
}

}  // namespace platform
