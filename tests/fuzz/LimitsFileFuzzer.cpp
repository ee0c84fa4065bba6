// libFuzzer entry of the LimitsFile target (see FuzzTargets.h).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::LimitsFileTarget(data, size);
}
