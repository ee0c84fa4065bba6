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
// caller refreshes the window afterwards.
void ProcessStatus(ScaleContext& context);
void ConfirmReset(ScaleContext& context);
void Restart(ScaleContext& context);
void SaveStatistics(ScaleContext& context);

}  // namespace scale
