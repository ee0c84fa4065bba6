// Work mode: polling the scale, its state in words, the production
// statistics per line and in total, their reset, the restart command and
// the dated statistics report.
#pragma once

#include <cstdint>

#include "scale/ScaleContext.h"

namespace scale {

void StartWork(ScaleContext& context);
void StopWork(ScaleContext& context);
// One work-mode tick: reads and applies at most one status packet. The
// caller refreshes the window afterwards.
void ProcessStatus(ScaleContext& context);
void ConfirmReset(ScaleContext& context);
void ResetStatistics(LineStatistics& statistics);
void Restart(ScaleContext& context);
void SaveStatistics(ScaleContext& context);

// The line (1 to 8) of a one-hot line byte; 0 when no bit or more than one
// bit is set.
int DecodeLine(std::uint8_t lineByte);
// Counts one item of weightCounts on the line (1 to 8) and in the totals,
// and reformats only those four texts.
void CountItem(LineStatistics& statistics, int line, std::uint8_t weightCounts, float calibrationFactor);

}  // namespace scale
