// Every fuzz target over its seed corpus, so the normal suite replays them with any compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/FuzzTargets.h"

namespace {

TEST(FuzzReplay, EveryTargetOverItsCorpusAndTheEmptyInput) {
    using Target = int (*)(const std::uint8_t*, std::size_t);
    const std::pair<const char*, Target> targets[] = {{"calibration_file", fuzz::CalibrationFileTarget},
                                                      {"limits_file", fuzz::LimitsFileTarget},
                                                      {"work_mode", fuzz::WorkModeTarget}};
    for (const auto& [name, target] : targets) {
        std::size_t inputs = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(QUELMAR_FUZZ_CORPUS) / name)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            SCOPED_TRACE(entry.path().string());
            target(bytes.data(), bytes.size());
            ++inputs;
        }
        target(nullptr, 0);  // every reader must take the empty input
        EXPECT_GE(inputs, 4u) << name;
    }
}

}  // namespace
