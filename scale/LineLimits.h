// The eight line limits: the edit gate of "&Guardar", the order check,
// limits files, and sending them to the scale in counts.
#pragma once

#include <array>
#include <cstdint>

#include "scale/ScaleContext.h"

namespace scale {

// The operator changed the text of limit field `line` (1 to 8).
void LimitEdited(ScaleContext& context, int line);
void SaveLimits(ScaleContext& context);
void LoadLimits(ScaleContext& context);
// Grams to counts, line 1 first: each limit divided by the factor in double
// precision and truncated toward zero, clamped to 0..255.
std::array<std::uint8_t, LINE_COUNT> LimitsToCounts(const std::array<std::int16_t, LINE_COUNT>& limits,
                                                    float factor);

}  // namespace scale
