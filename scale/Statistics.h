// The production statistics: items and kilograms per line and in total,
// each number beside the text the window shows for it. Pure arithmetic and
// formatting; work mode feeds it one sorted item at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "scale/Protocol.h"
#include "storage/ShiftStore.h"

namespace scale {

struct LineStatistics {
    std::array<std::uint32_t, LINE_COUNT> lineCount{};
    std::uint32_t totalCount = 0;
    // Accumulated in double precision: a shift of 32-bit float sums drifts by
    // whole kilograms.
    std::array<double, LINE_COUNT> lineKilograms{};
    double totalKilograms = 0.0;

    std::array<std::string, LINE_COUNT> lineCountText{"0", "0", "0", "0", "0", "0", "0", "0"};
    std::string totalCountText = "0";
    std::array<std::string, LINE_COUNT> lineKilogramsText{"0", "0", "0", "0", "0", "0", "0", "0"};
    std::string totalKilogramsText = "0";
};

// Counts one item of weightCounts on the line (1 to 8) and in the totals,
// and reformats only those four texts. Lines outside 1..8 count nothing.
void CountItem(LineStatistics& statistics, int line, std::uint8_t weightCounts, float calibrationFactor);
// Every number to zero and every text to "0".
void ResetStatistics(LineStatistics& statistics);
// The kilograms of an item of weightCounts, as CountItem adds them up.
double ItemKilograms(std::uint8_t weightCounts, float calibrationFactor);
// The numbers, as the shift store keeps them.
storage::ShiftFigures ShiftFiguresOf(const LineStatistics& statistics);
// The stored numbers back, each text formatted as CountItem formats it ("0"
// for a line that counted nothing).
void RestoreStatistics(LineStatistics& statistics, const storage::ShiftFigures& figures);

}  // namespace scale
