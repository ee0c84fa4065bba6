// The values the main window shows and the operations work on. Numbers are
// the truth; each display text is formatted from its number.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "scale/Statistics.h"

namespace scale {

// Values of the main window bound to its controls.
struct DialogValues {
    std::string countsText;                             // 1039, "Cuentas"
    std::string gramsText;                              // 1038, "Gramos"
    std::string stateText;                              // 1043, "Status"
    std::int16_t referenceWeight = 190;                 // 1050, grams, 150 to 600
    LineStatistics statistics;                          // 1017..1034
    std::array<std::int16_t, LINE_COUNT> lineLimits{};  // 1008, 1010..1016, grams, 0 to 800
};

constexpr std::int16_t REFERENCE_WEIGHT_MIN = 150;
constexpr std::int16_t REFERENCE_WEIGHT_MAX = 600;
constexpr std::int16_t LINE_LIMIT_MIN = 0;
constexpr std::int16_t LINE_LIMIT_MAX = 800;

// Program-wide values that outlive any one operation.
struct ProgramValues {
    float calibrationFactor = 0.0f;  // grams per count
    std::uint8_t zeroCount = 0;      // raw count with the scale empty
    std::uint8_t limitEditMask = 0;  // bit n-1: limit field n edited since start
    // The limit counts last sent (or tried) to the scale: sent again when a
    // lost scale comes back, since a powered-up controller has none.
    std::optional<LimitCounts> limitsInForce;
    // The scale was found gone; ticks left until the next attempt to find it.
    bool scaleLost = false;
    int ticksToReconnect = 0;
};

}  // namespace scale
