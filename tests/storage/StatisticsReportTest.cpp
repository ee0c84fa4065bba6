// The statistics report: its bytes, its date line and its code page.
#include "tests/support/MemoryFileSystem.h"
#include "storage/StatisticsReport.h"

#include <gtest/gtest.h>

namespace storage {
namespace {

using testing_support::MemoryFileSystem;

TEST(StatisticsReportTest, ReportByteForByteEachRowWithItsOwnLinesTexts) {
    // clang-format off
    const ReportFigures figures{{"1", "2", "3", "0", "5", "6", "7", "8"},
                                {"0.10", "0.20", "0.30", "0", "0.50", "0.60", "0.70", "0.80"}, "33", "3.30"};
    EXPECT_EQ(FormatStatisticsReport({2026, 12, 5, 21, 15, 18, 6}, figures),
              "Archivo de Estad\xEDsticas\r\n" "S\xE1" "bado 05/12/2026  21:15:18\r\n" "\r\n"
              "Linea 0:   1 Unidades    0.10 Kilogramos\r\n" "Linea 1:   2 Unidades    0.20 Kilogramos\r\n"
              "Linea 2:   3 Unidades    0.30 Kilogramos\r\n" "Linea 3:   0 Unidades    0 Kilogramos\r\n"
              "Linea 4:   5 Unidades    0.50 Kilogramos\r\n" "Linea 5:   6 Unidades    0.60 Kilogramos\r\n"
              "Linea 6:   7 Unidades    0.70 Kilogramos\r\n" "Linea 7:   8 Unidades    0.80 Kilogramos\r\n"
              "\r\n" "Totales:   33 Unidades    3.30 Kilogramos");
    // clang-format on
    MemoryFileSystem fs;
    fs.SetFile("C:\\velsor\\a.est", std::vector<std::uint8_t>(4096, 'x'));
    ASSERT_TRUE(WriteStatisticsReport(fs, "C:\\velsor\\a.est", "n\xE1"));
    EXPECT_EQ(fs.File("C:\\velsor\\a.est"), (std::vector<std::uint8_t>{'n', 0xE1}));
}

TEST(StatisticsReportTest, DateLineAndDayNames) {
    EXPECT_EQ(FormatReportDate({2026, 3, 1, 9, 5, 7, 0}), "Domingo 01/03/2026  09:05:07");
    EXPECT_EQ(FormatReportDate({999, 10, 31, 0, 0, 0, 3}), "Mi\u00E9rcoles 31/10/999  00:00:00");
    const char* names[] = {"Domingo", "Lunes", "Martes", "Mi\u00E9rcoles", "Jueves", "Viernes", "S\u00E1bado"};
    for (int day = 0; day < 7; ++day) EXPECT_EQ(DayName(day), names[day]) << day;
    for (int day : {-1, 7}) EXPECT_EQ(DayName(day), "?") << day;
    EXPECT_EQ(FormatReportDate({2026, 3, 1, 9, 5, 7, -2147483647 - 1}), "? 01/03/2026  09:05:07");
}

TEST(Windows1252Test, EveryCharacterOfTheCodePageBecomesItsByte) {
    // 0x80 to 0x9F but the five bytes the code page leaves unassigned.
    EXPECT_EQ(
        Utf8ToWindows1252("\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D\u2018"
                          "\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178"),
        "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F");
    for (unsigned c = 0xA0; c <= 0xFF; ++c) {  // two bytes of UTF-8 each
        const std::string utf8{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        EXPECT_EQ(Utf8ToWindows1252(utf8), std::string(1, static_cast<char>(c)));
    }
    // C1 controls, and characters the code page lacks, are one question mark each.
    for (const char* c : {"\u0081", "\u008D", "\u009D", "\u0100", "\u4E2D"}) EXPECT_EQ(Utf8ToWindows1252(c), "?");
    EXPECT_EQ(Utf8ToWindows1252("x\U0001F600y"), "x?y");  // four bytes
    EXPECT_EQ(Utf8ToWindows1252(std::string_view("a\0b\x7F", 4)), std::string_view("a\0b\x7F", 4));
}

TEST(Windows1252Test, MalformedInputGivesQuestionMarksAndResumes) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"a\x80" "b", "a?b"}, {"a\xC3", "a?"}, {"a\xE2\x82" "b", "a?b"},  // stray continuation; cut short
        {"\xC0\x80\xC1\xBF", "????"}, {"\xE0\x80\x80", "???"},       // overlong two- and three-byte forms
        {"\xED\xA0\x80", "???"}, {"\xF4\x90\x80\x80", "????"},       // a surrogate, past U+10FFFF
        {"\xF5\xFE\xFF", "???"}, {"\xC3\xC3\xA1", "?\xE1"},          // never valid, a new lead inside a sequence
    };
    // clang-format on
    for (const auto& [in, out] : cases) EXPECT_EQ(Utf8ToWindows1252(in), out) << in;
}

}  // namespace
}  // namespace storage
