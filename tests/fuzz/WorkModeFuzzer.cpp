// libFuzzer entry of the WorkMode target (see FuzzTargets.h).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::WorkModeTarget(data, size);
}
