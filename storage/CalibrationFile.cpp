#include "storage/CalibrationFile.h"

#include "platform/LittleEndian.h"
#include "storage/LimitsFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>

namespace storage {

std::array<std::uint8_t, CALIBRATION_FILE_SIZE> EncodeCalibration(const CalibrationData& data) {
    std::array<std::uint8_t, CALIBRATION_FILE_SIZE> bytes{};
    platform::PutLe32(bytes.data(), std::bit_cast<std::uint32_t>(data.factor));
    const auto limits = EncodeLimits(data.limits);
    std::copy(limits.begin(), limits.end(), bytes.begin() + 4);
    return bytes;
}

CalibrationLoad LoadCalibrationFile(FileSystem& fileSystem, CalibrationData& out) {
    const auto bytes = fileSystem.ReadFile(CALIBRATION_FILE_PATH, CALIBRATION_FILE_SIZE);
    if (!bytes) {
        return CalibrationLoad::Missing;
    }
    if (bytes->size() < CALIBRATION_FILE_SIZE) {
        return CalibrationLoad::Invalid;
    }
    const float factor = std::bit_cast<float>(platform::GetLe32(bytes->data()));
    std::array<std::int16_t, 8> limits{};
    if (!std::isfinite(factor) || !(factor > 0.0f) ||
        !DecodeLimits(std::span<const std::uint8_t>(*bytes).subspan(4), limits)) {
        return CalibrationLoad::Invalid;
    }
    out.factor = factor;
    out.limits = limits;
    return CalibrationLoad::Loaded;
}

bool SaveCalibrationFile(FileSystem& fileSystem, const CalibrationData& data) {
    const auto bytes = EncodeCalibration(data);
    return fileSystem.ReplaceFile(CALIBRATION_FILE_PATH, bytes);
}

}  // namespace storage
