// The calibration file at start-up, calibration against a reference weight
// and test mode with live grams and counts.
#pragma once

#include <string>
#include <string_view>

#include "scale/ScaleContext.h"
#include "storage/CalibrationFile.h"

namespace scale {

// Reads the calibration file into the factor and the limits and shows them.
// Missing or damaged files change nothing.
[[nodiscard]] storage::CalibrationLoad LoadCalibration(ScaleContext& context);
// Rewrites the calibration file from the factor and the limits. On failure
// tells the operator, under the caption of the operation that saved, and
// returns false; the previous file is left intact.
[[nodiscard]] bool SaveCalibration(ScaleContext& context, std::string_view caption);
// The message for a calibration file that could not be written, naming the
// file and the cause.
std::string CalibrationFileFailure(const ScaleContext& context);

// The last step of start-up: Ready when the calibration file was read,
// Unconfigured (with a warning) when it was not.
void ChooseStartingMode(ScaleContext& context);

void Calibrate(ScaleContext& context);
void StartTest(ScaleContext& context);
void ShowTestReading(ScaleContext& context);
void StopTest(ScaleContext& context);

}  // namespace scale
