// The arithmetic of the line limits, with no window or link in it: whether
// a factor can turn grams into counts, the order check of a save, and the
// conversion of grams into the counts the scale sorts by.
#pragma once

#include <array>
#include <cstdint>

#include "scale/Protocol.h"

namespace scale {

using LineLimitsGrams = std::array<std::int16_t, LINE_COUNT>;

// A factor of 0 (never calibrated), a negative one or a damaged one would
// turn every limit into a meaningless count; such limits are never sent.
[[nodiscard]] bool IsCalibrated(float factor);
// No limit greater than the next line's (equal neighbours are fine).
[[nodiscard]] bool LimitsInOrder(const LineLimitsGrams& limits);
// Grams to counts, line 1 first: each limit divided by the factor in double
// precision and truncated toward zero, clamped to 0..255.
LimitCounts LimitsToCounts(const LineLimitsGrams& limits, float factor);

}  // namespace scale
