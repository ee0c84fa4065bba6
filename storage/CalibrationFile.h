// The calibration file: the grams-per-count factor and the eight line limits,
// carried from one run to the next as a 20-byte little-endian image (the
// factor as an IEEE single, then the limits as signed 16-bit values, line 1
// first), with no header.
#pragma once

#include "storage/FileSystem.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace storage {

constexpr std::string_view CALIBRATION_FILE_PATH = "c:\\velsor\\usb.ini";
constexpr std::size_t CALIBRATION_FILE_SIZE = 20;

struct CalibrationData {
    float factor = 0.0f;
    std::array<std::int16_t, 8> limits{};
};

std::array<std::uint8_t, CALIBRATION_FILE_SIZE> EncodeCalibration(const CalibrationData& data);

enum class CalibrationLoad { Loaded, Missing, Invalid };

// Loaded: the file held at least 20 bytes and a finite factor above zero;
// `out` is then replaced (bytes after the twentieth are ignored).
// Missing: the file could not be opened. Invalid: anything else (too short,
// a factor of zero, negative, infinite or not a number); `out` is untouched
// in both of these cases, so a damaged file never yields a factor that would
// turn every weight into nonsense.
[[nodiscard]] CalibrationLoad LoadCalibrationFile(FileSystem& fileSystem, CalibrationData& out);

// Writes the 20 bytes to CALIBRATION_FILE_PATH, replacing the file whole.
[[nodiscard]] bool SaveCalibrationFile(FileSystem& fileSystem, const CalibrationData& data);

}  // namespace storage
