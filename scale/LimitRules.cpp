#include "scale/LimitRules.h"

#include <cmath>

namespace scale {

bool IsCalibrated(float factor) { return std::isfinite(factor) && factor > 0.0f; }

bool LimitsInOrder(const LineLimitsGrams& limits) {
    for (int line = 0; line + 1 < LINE_COUNT; ++line) {
        if (limits[line] > limits[line + 1]) return false;
    }
    return true;
}

LimitCounts LimitsToCounts(const LineLimitsGrams& limits, float factor) {
    LimitCounts counts{};
    for (int line = 0; line < LINE_COUNT; ++line) {
        const double quotient = std::trunc(static_cast<double>(limits[line]) / static_cast<double>(factor));
        // Clamped, not wrapped: a count past the byte's range must still sort
        // onto the highest (or lowest) line, keeping the limits in order.
        // A NaN quotient (never sent: the callers refuse such factors) ends
        // at 0 rather than in undefined behaviour.
        if (!(quotient > 0.0)) {
            counts[line] = 0;
        } else if (quotient >= 255.0) {
            counts[line] = 255;
        } else {
            counts[line] = static_cast<std::uint8_t>(quotient);
        }
    }
    return counts;
}

}  // namespace scale
