// Every fuzz target over its seed corpus, so the normal suite replays them with any compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/FuzzTargets.h"

namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

std::size_t Replay(const char* name, Target target) {
    const std::filesystem::path folder = std::filesystem::path(QUELMAR_FUZZ_CORPUS) / name;
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        SCOPED_TRACE(entry.path().string());
        target(bytes.data(), bytes.size());
        ++inputs;
    }
    // The empty input too: every reader must take it.
    target(nullptr, 0);
    return inputs;
}

TEST(FuzzReplay, EveryTargetOverItsCorpus) {
    const std::pair<const char*, Target> targets[] = {{"calibration_file", fuzz::CalibrationFileTarget},
                                                      {"limits_file", fuzz::LimitsFileTarget},
                                                      {"fields", fuzz::FieldsTarget},
                                                      {"work_mode", fuzz::WorkModeTarget}};
    for (const auto& [name, target] : targets) EXPECT_GE(Replay(name, target), 4u) << name;
}

}  // namespace
