// The eight line limits: the edit gate of "&Guardar", the order check,
// limits files, and sending them to the scale in counts.
#pragma once

#include "scale/LimitRules.h"
#include "scale/ScaleContext.h"

namespace scale {

// The operator changed the text of limit field `line` (1 to 8).
void LimitEdited(ScaleContext& context, int line);
void SaveLimits(ScaleContext& context);
void LoadLimits(ScaleContext& context);
// Sends the limits the window holds (read from the calibration file at
// start-up); a box only when the scale did not take them.
void SendStoredLimits(ScaleContext& context);
}  // namespace scale
