#include "scale/Statistics.h"

#include <charconv>
#include <cstdio>

namespace scale {

namespace {

// Texts are formatted into a stack buffer and then assigned: the strings keep
// their storage (short texts live inside the string object), so a tick in
// steady state allocates nothing.
void AssignUnsigned(std::string& text, std::uint32_t value) {
    char buffer[16];
    const int length = std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value));
    if (length > 0) text.assign(buffer, static_cast<std::size_t>(length));
}

// The same digits as "%.2f" (to_chars with a precision formats as printf
// does in the "C" locale) at a tenth of snprintf's cost: a tick counts two
// of these.
void AssignKilograms(std::string& text, double value) {
    char buffer[352];  // the longest fixed form of a double with two decimals
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (result.ec == std::errc()) text.assign(buffer, result.ptr);
}

}  // namespace

void CountItem(LineStatistics& statistics, int line, std::uint8_t weightCounts, float calibrationFactor) {
    if (line < 1 || line > LINE_COUNT) return;
    const auto index = static_cast<std::size_t>(line - 1);
    const double kilograms = ItemKilograms(weightCounts, calibrationFactor);

    ++statistics.lineCount[index];
    AssignUnsigned(statistics.lineCountText[index], statistics.lineCount[index]);
    statistics.lineKilograms[index] += kilograms;
    AssignKilograms(statistics.lineKilogramsText[index], statistics.lineKilograms[index]);

    // The totals are kept on their own rather than summed from the lines.
    ++statistics.totalCount;
    statistics.totalKilograms += kilograms;
    AssignUnsigned(statistics.totalCountText, statistics.totalCount);
    AssignKilograms(statistics.totalKilogramsText, statistics.totalKilograms);
}

void ResetStatistics(LineStatistics& statistics) {
    for (auto& text : statistics.lineCountText) text.assign("0");
    statistics.totalCountText.assign("0");
    for (auto& text : statistics.lineKilogramsText) text.assign("0");
    statistics.totalKilogramsText.assign("0");
    statistics.lineCount.fill(0);
    statistics.totalCount = 0;
    statistics.lineKilograms.fill(0.0);
    statistics.totalKilograms = 0.0;
}

double ItemKilograms(std::uint8_t weightCounts, float calibrationFactor) {
    return static_cast<double>(weightCounts) * static_cast<double>(calibrationFactor) / 1000.0;
}

storage::ShiftFigures ShiftFiguresOf(const LineStatistics& statistics) {
    return {statistics.lineCount, statistics.totalCount, statistics.lineKilograms, statistics.totalKilograms};
}

void RestoreStatistics(LineStatistics& statistics, const storage::ShiftFigures& figures) {
    ResetStatistics(statistics);
    for (std::size_t i = 0; i < LINE_COUNT; ++i) {
        statistics.lineCount[i] = figures.lineCounts[i];
        statistics.lineKilograms[i] = figures.lineKilograms[i];
        if (figures.lineCounts[i] == 0 && figures.lineKilograms[i] == 0.0) continue;
        AssignUnsigned(statistics.lineCountText[i], figures.lineCounts[i]);
        AssignKilograms(statistics.lineKilogramsText[i], figures.lineKilograms[i]);
    }
    statistics.totalCount = figures.totalCount;
    statistics.totalKilograms = figures.totalKilograms;
    if (figures.totalCount == 0 && figures.totalKilograms == 0.0) return;
    AssignUnsigned(statistics.totalCountText, figures.totalCount);
    AssignKilograms(statistics.totalKilogramsText, figures.totalKilograms);
}

}  // namespace scale
