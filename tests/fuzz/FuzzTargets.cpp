#include "tests/fuzz/FuzzTargets.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ControlIds.h"
#include "scale/WorkMode.h"
#include "storage/CalibrationFile.h"
#include "storage/LimitsFile.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/ScaleTestBench.h"
#include "ui/quelmarDlg.h"

namespace fuzz {

void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

namespace {

// The input as the one file of a memory file system.
struct Files : testing_support::MemoryFileSystem {
    Files(const std::string& path, const std::uint8_t* data, std::size_t size) {
        SetFile(path, std::vector<std::uint8_t>(data, data + size));
    }
};

// Written back, what was read comes out as the bytes it was read from.
template <typename Bytes>
bool WrittenBackAsRead(const Bytes& written, const std::uint8_t* data) {
    return std::memcmp(written.data(), data, written.size()) == 0;
}

// An independent reading of a decimal text: what the field exchange must
// accept as a whole number of 16 bits (blanks around it, one optional sign,
// decimal digits).
std::optional<std::int16_t> ReferenceParse(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    if (text.size() > 5) return std::nullopt;
    const long value = (negative ? -1 : 1) * (text.empty() ? 0 : std::stol(std::string(text)));
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

}  // namespace

int CalibrationFileTarget(const std::uint8_t* data, std::size_t size) {
    Files files(std::string(storage::CALIBRATION_FILE_PATH), data, size);
    const storage::CalibrationData sentinel{-7.5f, {1, 2, 3, 4, 5, 6, 7, 8}};
    storage::CalibrationData loaded = sentinel;
    const storage::CalibrationLoad result = storage::LoadCalibrationFile(files, loaded);
    FUZZ_CHECK(result != storage::CalibrationLoad::Missing);
    if (result == storage::CalibrationLoad::Loaded) {
        FUZZ_CHECK(size >= storage::CALIBRATION_FILE_SIZE && std::isfinite(loaded.factor) && loaded.factor > 0.0f);
        FUZZ_CHECK(WrittenBackAsRead(storage::EncodeCalibration(loaded), data));
    } else {
        FUZZ_CHECK(loaded.factor == sentinel.factor && loaded.limits == sentinel.limits);
    }
    return 0;
}

int LimitsFileTarget(const std::uint8_t* data, std::size_t size) {
    Files files("C:\\velsor\\fuzz.lim", data, size);
    const std::array<std::int16_t, 8> sentinel{-1, 2, -3, 4, -5, 6, -7, 8};
    std::array<std::int16_t, 8> limits = sentinel;
    const bool read = storage::ReadLimitsFile(files, "C:\\velsor\\fuzz.lim", limits);
    FUZZ_CHECK(read == (size >= storage::LIMITS_FILE_SIZE));
    FUZZ_CHECK(read ? WrittenBackAsRead(storage::EncodeLimits(limits), data) : limits == sentinel);
    return 0;
}

int FieldsTarget(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(ui::ParseWholeNumber(input) == ReferenceParse(input));

    // One line of the input per number field: the reference weight, then the eight limits.
    std::array<std::string, 9> texts{"190", "0", "0", "0", "0", "0", "0", "0", "0"};
    for (std::size_t field = 0, at = 0; field < texts.size() && at <= input.size(); ++field) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        texts[field] = std::string(input.substr(at, end - at));
        at = end + 1;
    }
    testing_support::ScaleTestBench bench;
    bench.window.Type(platform::IDC_REFERENCE_WEIGHT, texts[0]);
    for (std::size_t line = 0; line < 8; ++line) bench.window.Type(platform::LIMIT_FIELD_IDS[line], texts[line + 1]);
    const bool accepted = bench.dialog.ReadFields();

    // Accepted exactly when every field holds a number in its range.
    std::array<std::int16_t, 9> numbers{};
    bool expected = true;
    for (std::size_t field = 0; field < texts.size(); ++field) {
        const auto number = ReferenceParse(texts[field]);
        const bool reference = field == 0;
        expected = expected && number && *number >= (reference ? scale::REFERENCE_WEIGHT_MIN : scale::LINE_LIMIT_MIN) &&
                   *number <= (reference ? scale::REFERENCE_WEIGHT_MAX : scale::LINE_LIMIT_MAX);
        numbers[field] = number.value_or(0);
    }
    FUZZ_CHECK(accepted == expected);
    // A refused field shows exactly one prompt; an accepted exchange none.
    FUZZ_CHECK(bench.window.messages.size() == (accepted ? 0u : 1u));
    const scale::DialogValues& values = bench.dialog.Values();
    if (accepted) {
        FUZZ_CHECK(values.referenceWeight == numbers[0]);
        for (std::size_t line = 0; line < 8; ++line) FUZZ_CHECK(values.lineLimits[line] == numbers[line + 1]);
    }
    // Values and fields agree again after the refresh.
    bench.dialog.ShowFields();
    if (accepted)
        FUZZ_CHECK(ui::ParseWholeNumber(bench.window.texts[platform::IDC_REFERENCE_WEIGHT]) == values.referenceWeight);
    return 0;
}

int WorkModeTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    FUZZ_CHECK(bench.link.ScaleIndex() == 0);
    bench.Press(platform::IDC_START_WORK);
    // The first byte picks a factor, so weights of every size are summed.
    float factor = 2.0f;
    if (size > 0) {
        factor = bench.program.calibrationFactor = 0.25f * static_cast<float>(data[0] % 32 + 1);
        ++data;
        --size;
    }
    // Packets: a length byte (0 to 8), then that many bytes.
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t at = 0; at < size; at += 1 + packets.back().size()) {
        const std::size_t length = std::min<std::size_t>(data[at] % 9, size - at - 1);
        packets.emplace_back(data + at + 1, data + at + 1 + length);
    }
    for (const auto& packet : packets) device.QueuePacket(packet);

    // What each tick should have made of its packet: only whole status
    // packets count, and an item only with one line bit.
    const scale::LineStatistics& s = bench.dialog.Values().statistics;
    std::array<std::uint32_t, 8> counts{};
    std::array<double, 8> kilograms{};
    std::string state;
    for (const auto& packet : packets) {
        bench.Tick(platform::TIMER_WORK);
        if (packet.size() >= 4 && packet[0] <= 2) {
            state = packet[0] == 0 ? "Esperando sincronismo..." : packet[0] == 1 ? "Tomando Taras" : "Trabajando";
            if (packet[0] == 2 && std::has_single_bit(packet[3])) {
                const auto line = static_cast<std::size_t>(std::countr_zero(packet[3]));
                ++counts[line];
                kilograms[line] += static_cast<double>(packet[1]) * static_cast<double>(factor) / 1000.0;
            }
        }
        FUZZ_CHECK(bench.dialog.Values().stateText == state && bench.window.texts[platform::IDC_STATE] == state);
    }
    std::uint32_t total = 0;
    for (std::size_t line = 0; line < 8; ++line) {
        FUZZ_CHECK(s.lineCount[line] == counts[line] && std::fabs(s.lineKilograms[line] - kilograms[line]) < 1e-9);
        FUZZ_CHECK(bench.window.texts[platform::IDC_LINE_COUNT_1 + static_cast<int>(line)] == s.lineCountText[line]);
        total += counts[line];
    }
    FUZZ_CHECK(s.totalCount == total);
    FUZZ_CHECK(bench.kernel.PendingRequestCount() == 0 && device.QueuedPackets() == 0);
    return 0;
}

}  // namespace fuzz
