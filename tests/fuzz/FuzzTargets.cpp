#include "tests/fuzz/FuzzTargets.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "ui/ControlIds.h"
#include "scale/WorkMode.h"
#include "storage/CalibrationFile.h"
#include "storage/LimitsFile.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/ScaleTestBench.h"

namespace fuzz {
namespace {

// A broken invariant ends the run with the input that broke it.
[[noreturn]] void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}
#define FUZZ_CHECK(condition) ((condition) ? void() : Fail(#condition, __FILE__, __LINE__))

}  // namespace

int CalibrationFileTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::MemoryFileSystem files;
    files.SetFile(storage::CALIBRATION_FILE_PATH, {data, data + size});
    const storage::CalibrationData sentinel{-7.5f, {1, 2, 3, 4, 5, 6, 7, 8}};
    storage::CalibrationData loaded = sentinel;
    const storage::CalibrationLoad result = storage::LoadCalibrationFile(files, loaded);
    FUZZ_CHECK(result != storage::CalibrationLoad::Missing);
    if (result == storage::CalibrationLoad::Loaded) {
        FUZZ_CHECK(size >= storage::CALIBRATION_FILE_SIZE && std::isfinite(loaded.factor) && loaded.factor > 0.0f);
        FUZZ_CHECK(std::memcmp(storage::EncodeCalibration(loaded).data(), data, storage::CALIBRATION_FILE_SIZE) == 0);
    } else {
        FUZZ_CHECK(loaded.factor == sentinel.factor && loaded.limits == sentinel.limits);
    }
    return 0;
}

int LimitsFileTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::MemoryFileSystem files;
    files.SetFile("C:\\velsor\\fuzz.lim", {data, data + size});
    const std::array<std::int16_t, 8> sentinel{-1, 2, -3, 4, -5, 6, -7, 8};
    std::array<std::int16_t, 8> limits = sentinel;
    const bool read = storage::ReadLimitsFile(files, "C:\\velsor\\fuzz.lim", limits) == storage::FileFailure::None;
    FUZZ_CHECK(read == (size >= storage::LIMITS_FILE_SIZE));
    FUZZ_CHECK(read ? std::memcmp(storage::EncodeLimits(limits).data(), data, storage::LIMITS_FILE_SIZE) == 0
                    : limits == sentinel);
    return 0;
}

int WorkModeTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
    // The first byte picks the stored factor, so weights of every size are summed.
    const float factor = size > 0 ? 0.25f * static_cast<float>(data[0] % 32 + 1) : 2.0f;
    bench.StoreCalibration(factor, {});
    bench.StartUp();
    FUZZ_CHECK(bench.link.ScaleIndex() == 0 && bench.program.calibrationFactor == factor);
    bench.Press(ui::IDC_START_WORK);
    // Packets after it: a length byte (0 to 8), then that many bytes.
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t at = 1; at < size; at += 1 + packets.back().size()) {
        const std::size_t length = std::min<std::size_t>(data[at] % 9, size - at - 1);
        packets.emplace_back(data + at + 1, data + at + 1 + length);
    }
    for (const auto& packet : packets) device.QueuePacket(packet);

    // Only whole status packets count, and an item only with one line bit.
    const scale::LineStatistics& s = bench.dialog.Values().statistics;
    std::array<std::uint32_t, 8> counts{};
    std::array<double, 8> kilograms{};
    std::string state;
    for (const auto& packet : packets) {
        bench.Tick(ui::TIMER_WORK);
        if (packet.size() >= 4 && packet[0] <= 2) {
            state = packet[0] == 0 ? "Esperando sincronismo..." : packet[0] == 1 ? "Tomando Taras" : "Trabajando";
            if (packet[0] == 2 && std::has_single_bit(packet[3])) {
                const auto line = static_cast<std::size_t>(std::countr_zero(packet[3]));
                ++counts[line];
                kilograms[line] += static_cast<double>(packet[1]) * static_cast<double>(factor) / 1000.0;
            }
        }
        FUZZ_CHECK(bench.dialog.Values().stateText == state && bench.window.texts[ui::IDC_STATE] == state);
    }
    for (std::size_t line = 0; line < 8; ++line) {
        FUZZ_CHECK(s.lineCount[line] == counts[line] && std::fabs(s.lineKilograms[line] - kilograms[line]) < 1e-9);
        FUZZ_CHECK(bench.window.texts[ui::IDC_LINE_COUNT_1 + static_cast<int>(line)] == s.lineCountText[line]);
    }
    FUZZ_CHECK(s.totalCount == std::accumulate(counts.begin(), counts.end(), 0u));
    FUZZ_CHECK(bench.kernel.PendingRequestCount() == 0 && device.QueuedPackets() == 0);
    return 0;
}

}  // namespace fuzz
