// The statistics report: a dated text file of the eight lines' counts and
// kilograms and their totals, as the window shows them. Single-byte
// Windows-1252 text with CR LF line ends, written once and never read back.
#pragma once

#include "platform/WindowServices.h"
#include "storage/FileSystem.h"

#include <array>
#include <string>
#include <string_view>

namespace storage {

// Each character of the Windows-1252 code page becomes its byte (ASCII, the
// Latin-1 letters, and extras such as "€" or the curly quotes); any other
// character, a C1 control character, or a malformed UTF-8 sequence becomes
// one '?'.
std::string Utf8ToWindows1252(std::string_view utf8);

// The texts exactly as the window shows them; the report does no arithmetic.
struct ReportFigures {
    std::array<std::string, 8> lineCounts;
    std::array<std::string, 8> lineKilograms;
    std::string totalCount;
    std::string totalKilograms;
};

// The Spanish name of a day of the week, 0 = Sunday; "?" outside 0 to 6.
std::string_view DayName(int dayOfWeek);

// The date line: "Sábado 05/12/2026  21:15:18" (UTF-8).
std::string FormatReportDate(const platform::LocalDateTime& when);

// The report's exact bytes: Windows-1252, CR LF between lines, and no line
// break after the final "Kilogramos". The rows are numbered 0 to 7.
std::string FormatStatisticsReport(const platform::LocalDateTime& when, const ReportFigures& figures);

platform::FileDialogSettings StatisticsFileDialog();

// Replaces the file whole with the bytes, so a failed write leaves nothing
// half-written behind.
[[nodiscard]] bool WriteStatisticsReport(FileSystem& fileSystem, std::string_view path, std::string_view bytes);

}  // namespace storage
