// libFuzzer entry of one target (see FuzzTargets.h), chosen by the build.
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return QUELMAR_FUZZ_TARGET(data, size);
}
