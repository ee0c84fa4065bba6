#include "tests/fuzz/FuzzTargets.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

std::int16_t Le16(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }

// An independent reading of a decimal text: what the field exchange must
// accept as a whole number of 16 bits (blanks around it, one optional sign,
// decimal digits).
std::optional<std::int16_t> ReferenceParse(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const auto significant = text.find_first_not_of('0');
    if (significant == std::string_view::npos) return 0;
    text.remove_prefix(significant);
    if (text.size() > 5) return std::nullopt;
    long value = std::stol(std::string(text));
    if (negative) value = -value;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::string Format2(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

int CalibrationFileTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::MemoryFileSystem files;
    files.SetFile(storage::CALIBRATION_FILE_PATH, std::vector<std::uint8_t>(data, data + size));
    const storage::CalibrationData sentinel{-7.5f, {1, 2, 3, 4, 5, 6, 7, 8}};
    storage::CalibrationData loaded = sentinel;
    const storage::CalibrationLoad result = storage::LoadCalibrationFile(files, loaded);
    FUZZ_CHECK(result != storage::CalibrationLoad::Missing);
    if (result == storage::CalibrationLoad::Loaded) {
        FUZZ_CHECK(size >= storage::CALIBRATION_FILE_SIZE);
        FUZZ_CHECK(std::isfinite(loaded.factor) && loaded.factor > 0.0f);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &loaded.factor, 4);
        FUZZ_CHECK(bits == (static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                            static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24));
        for (std::size_t i = 0; i < 8; ++i) FUZZ_CHECK(loaded.limits[i] == Le16(data + 4 + 2 * i));
        // Written back, the first 20 bytes come out as they went in.
        const auto bytes = storage::EncodeCalibration(loaded);
        FUZZ_CHECK(std::memcmp(bytes.data(), data, bytes.size()) == 0);
    } else {
        FUZZ_CHECK(loaded.factor == sentinel.factor && loaded.limits == sentinel.limits);
    }
    return 0;
}

int LimitsFileTarget(const std::uint8_t* data, std::size_t size) {
    testing_support::MemoryFileSystem files;
    const std::string path = "C:\\velsor\\fuzz.lim";
    files.SetFile(path, std::vector<std::uint8_t>(data, data + size));
    const std::array<std::int16_t, 8> sentinel{-1, 2, -3, 4, -5, 6, -7, 8};
    std::array<std::int16_t, 8> limits = sentinel;
    const bool read = storage::ReadLimitsFile(files, path, limits);
    FUZZ_CHECK(read == (size >= storage::LIMITS_FILE_SIZE));
    if (read) {
        for (std::size_t i = 0; i < 8; ++i) FUZZ_CHECK(limits[i] == Le16(data + 2 * i));
        const auto bytes = storage::EncodeLimits(limits);
        FUZZ_CHECK(std::memcmp(bytes.data(), data, bytes.size()) == 0);
    } else {
        FUZZ_CHECK(limits == sentinel);
    }
    return 0;
}

int FieldsTarget(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(ui::ParseWholeNumber(input) == ReferenceParse(input));

    // One line of the input per number field: the reference weight, then
    // the eight limits.
    std::array<std::string, 9> texts{"190", "0", "0", "0", "0", "0", "0", "0", "0"};
    std::size_t at = 0;
    for (std::size_t field = 0; field < texts.size() && at <= input.size(); ++field) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        texts[field] = std::string(input.substr(at, end - at));
        at = end + 1;
    }
    testing_support::ScaleTestBench bench;
    bench.window.Type(platform::IDC_REFERENCE_WEIGHT, texts[0]);
    for (std::size_t line = 0; line < 8; ++line) bench.window.Type(platform::LIMIT_FIELD_IDS[line], texts[line + 1]);
    scale::DialogValues& values = bench.dialog.Values();
    const bool accepted = bench.dialog.ReadFields();

    // What the exchange must have made of the texts, field by field.
    bool expected = true;
    for (std::size_t field = 0; field < texts.size() && expected; ++field) {
        if (!ReferenceParse(texts[field])) expected = false;
    }
    if (expected) {
        const auto reference = *ReferenceParse(texts[0]);
        expected = reference >= scale::REFERENCE_WEIGHT_MIN && reference <= scale::REFERENCE_WEIGHT_MAX;
        for (std::size_t line = 0; line < 8 && expected; ++line) {
            const auto limit = *ReferenceParse(texts[line + 1]);
            expected = limit >= scale::LINE_LIMIT_MIN && limit <= scale::LINE_LIMIT_MAX;
        }
    }
    FUZZ_CHECK(accepted == expected);
    // A refused field shows exactly one prompt; an accepted exchange none.
    FUZZ_CHECK(bench.window.messages.size() == (accepted ? 0u : 1u));
    if (accepted) {
        FUZZ_CHECK(values.referenceWeight == *ReferenceParse(texts[0]));
        for (std::size_t line = 0; line < 8; ++line)
            FUZZ_CHECK(values.lineLimits[line] == *ReferenceParse(texts[line + 1]));
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
    float factor = 2.0f;
    // The first byte picks a factor, so weights of every size are summed.
    if (size > 0) {
        factor = 0.25f * static_cast<float>(data[0] % 32 + 1);
        bench.program.calibrationFactor = factor;
        ++data;
        --size;
    }

    // Packets: a length byte (0 to 8), then that many bytes.
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at] % 9, size - at - 1);
        packets.emplace_back(data + at + 1, data + at + 1 + length);
        at += 1 + length;
    }
    for (const auto& packet : packets) device.QueuePacket(packet);

    const scale::LineStatistics& s = bench.dialog.Values().statistics;
    std::array<std::uint32_t, 8> counts{};
    std::array<double, 8> kilograms{};
    std::string state;
    for (const auto& packet : packets) {
        bench.Tick(platform::TIMER_WORK);
        // What the tick should have made of the packet.
        if (packet.size() >= 4 && packet[0] <= 2) {
            state = packet[0] == 0 ? "Esperando sincronismo..." : packet[0] == 1 ? "Tomando Taras" : "Trabajando";
            if (packet[0] == 2 && std::has_single_bit(packet[3])) {
                const auto line = static_cast<std::size_t>(std::countr_zero(packet[3]));
                ++counts[line];
                kilograms[line] += static_cast<double>(packet[1]) * static_cast<double>(factor) / 1000.0;
            }
        }
        FUZZ_CHECK(bench.dialog.Values().stateText == state);
        FUZZ_CHECK(bench.window.texts[platform::IDC_STATE] == state);
    }
    std::uint32_t total = 0;
    double totalKilograms = 0.0;
    for (std::size_t line = 0; line < 8; ++line) {
        FUZZ_CHECK(s.lineCount[line] == counts[line]);
        total += s.lineCount[line];
        totalKilograms += s.lineKilograms[line];
        FUZZ_CHECK(std::fabs(s.lineKilograms[line] - kilograms[line]) < 1e-9);
        FUZZ_CHECK(s.lineCountText[line] == (counts[line] == 0 ? "0" : std::to_string(counts[line])));
        FUZZ_CHECK(s.lineKilogramsText[line] == (counts[line] == 0 ? "0" : Format2(s.lineKilograms[line])));
        FUZZ_CHECK(bench.window.texts[platform::IDC_LINE_COUNT_1 + static_cast<int>(line)] == s.lineCountText[line]);
    }
    FUZZ_CHECK(s.totalCount == total);
    FUZZ_CHECK(s.totalCountText == (total == 0 ? "0" : std::to_string(total)));
    FUZZ_CHECK(std::fabs(s.totalKilograms - totalKilograms) < 1e-6);
    FUZZ_CHECK(s.totalKilogramsText == (total == 0 ? "0" : Format2(s.totalKilograms)));
    FUZZ_CHECK(bench.kernel.PendingRequestCount() == 0);
    FUZZ_CHECK(device.QueuedPackets() == 0);
    return 0;
}

}  // namespace fuzz
