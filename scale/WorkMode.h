// Work mode: polling the scale, its state in words, the production
// statistics per line and in total, their reset, the restart command and
// the dated statistics report.
#pragma once

#include <cstdint>

#include "scale/ScaleContext.h"
#include "scale/Statistics.h"

namespace scale {

void StartWork(ScaleContext& context);
void StopWork(ScaleContext& context);
// One work-mode tick: reads and applies at most one status packet. The
// caller refreshes the window afterwards. A counted item is stored in the
// shift store before this returns.
void ProcessStatus(ScaleContext& context);
// At start-up: the shift store's figures, when not all zero, into the window
// with a box saying so; a failure of the store first, in a stop box.
void RestoreShift(ScaleContext& context);
// The shift store's failure, if one is waiting, in a stop box.
void ReportShiftFailure(ScaleContext& context);
void ConfirmReset(ScaleContext& context);
void Restart(ScaleContext& context);
void SaveStatistics(ScaleContext& context);

}  // namespace scale
