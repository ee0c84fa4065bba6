#include "storage/MemoryFileSystem.h"
#include "storage/StatisticsReport.h"

#include <gtest/gtest.h>

namespace storage {
namespace {

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second, int dayOfWeek) {
    platform::LocalDateTime when;
    when.year = year;
    when.month = month;
    when.day = day;
    when.hour = hour;
    when.minute = minute;
    when.second = second;
    when.dayOfWeek = dayOfWeek;
    return when;
}

ReportFigures AllZero() {
    ReportFigures figures;
    figures.lineCounts.fill("0");
    figures.lineKilograms.fill("0");
    figures.totalCount = "0";
    figures.totalKilograms = "0";
    return figures;
}

TEST(StatisticsReportTest, ExampleReportIsByteExact) {
    ReportFigures figures = AllZero();
    figures.lineCounts[0] = "3";
    figures.lineKilograms[0] = "0.38";
    figures.lineCounts[3] = "1";
    figures.lineKilograms[3] = "0.12";
    figures.totalCount = "4";
    figures.totalKilograms = "0.50";

    const std::string expected =
        "Archivo de Estad\xEDsticas\r\n"
        "S\xE1" "bado 05/12/2026  21:15:18\r\n"
        "\r\n"
        "Linea 0:   3 Unidades    0.38 Kilogramos\r\n"
        "Linea 1:   0 Unidades    0 Kilogramos\r\n"
        "Linea 2:   0 Unidades    0 Kilogramos\r\n"
        "Linea 3:   1 Unidades    0.12 Kilogramos\r\n"
        "Linea 4:   0 Unidades    0 Kilogramos\r\n"
        "Linea 5:   0 Unidades    0 Kilogramos\r\n"
        "Linea 6:   0 Unidades    0 Kilogramos\r\n"
        "Linea 7:   0 Unidades    0 Kilogramos\r\n"
        "\r\n"
        "Totales:   4 Unidades    0.50 Kilogramos";
    EXPECT_EQ(FormatStatisticsReport(At(2026, 12, 5, 21, 15, 18, 6), figures), expected);
}

TEST(StatisticsReportTest, RowsCarryEachLinesOwnTexts) {
    // Distinct texts per line catch a row printing another line's figures.
    ReportFigures figures;
    for (std::size_t i = 0; i < 8; ++i) {
        figures.lineCounts[i] = "c" + std::to_string(i + 1);
        figures.lineKilograms[i] = "k" + std::to_string(i + 1);
    }
    figures.totalCount = "TC";
    figures.totalKilograms = "TK";
    const std::string report = FormatStatisticsReport(At(2026, 1, 1, 0, 0, 0, 4), figures);
    EXPECT_NE(report.find("\r\nLinea 0:   c1 Unidades    k1 Kilogramos\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\nLinea 7:   c8 Unidades    k8 Kilogramos\r\n\r\nTotales:   TC Unidades    TK Kilogramos"),
              std::string::npos);
    EXPECT_EQ(report.find("Linea 8"), std::string::npos);
}

TEST(StatisticsReportTest, AfterResetEverythingReadsZeroAndNoBreakAtTheEnd) {
    const std::string report = FormatStatisticsReport(At(2026, 3, 1, 9, 5, 7, 0), AllZero());
    const std::string tail = "Totales:   0 Unidades    0 Kilogramos";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    // Every line feed is preceded by a carriage return, and nothing else is.
    std::size_t lineFeeds = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\n') {
            ++lineFeeds;
            ASSERT_GT(i, 0u);
            EXPECT_EQ(report[i - 1], '\r');
        } else if (report[i] == '\r') {
            ASSERT_LT(i + 1, report.size());
            EXPECT_EQ(report[i + 1], '\n');
        }
    }
    EXPECT_EQ(lineFeeds, 12u);
}

TEST(ReportDateTest, DateLineFormats) {
    EXPECT_EQ(FormatReportDate(At(2026, 3, 1, 9, 5, 7, 0)), "Domingo 01/03/2026  09:05:07");
    EXPECT_EQ(FormatReportDate(At(2026, 12, 5, 21, 15, 18, 6)), "S\xC3\xA1" "bado 05/12/2026  21:15:18");
    EXPECT_EQ(FormatReportDate(At(999, 10, 31, 0, 0, 0, 3)), "Mi\xC3\xA9rcoles 31/10/999  00:00:00");
    // The date line is the report's second line.
    const std::string report = FormatStatisticsReport(At(2026, 3, 1, 9, 5, 7, 0), AllZero());
    const std::string head = "Archivo de Estad\xEDsticas\r\nDomingo 01/03/2026  09:05:07\r\n\r\nLinea 0:";
    EXPECT_EQ(report.substr(0, head.size()), head);
}

TEST(ReportDateTest, DayNamesSundayFirstAndUnknownDays) {
    const char* expected[] = {"Domingo", "Lunes",   "Martes",          "Mi\xC3\xA9rcoles",
                              "Jueves",  "Viernes", "S\xC3\xA1" "bado"};
    for (int day = 0; day < 7; ++day) {
        EXPECT_EQ(DayName(day), expected[day]) << day;
    }
    EXPECT_EQ(DayName(7), "?");
    EXPECT_EQ(DayName(-1), "?");
    EXPECT_EQ(FormatReportDate(At(2026, 3, 1, 9, 5, 7, 1000)), "? 01/03/2026  09:05:07");
    EXPECT_EQ(FormatReportDate(At(2026, 3, 1, 9, 5, 7, -2147483647 - 1)).substr(0, 2), "? ");
}

TEST(Windows1252Test, LatinOneAndExtrasBecomeSingleBytes) {
    EXPECT_EQ(Utf8ToWindows1252("Archivo de Estad\xC3\xADsticas"), "Archivo de Estad\xEDsticas");
    EXPECT_EQ(Utf8ToWindows1252("\xC3\xA1\xC3\xA9\xC3\xAD\xC3\xB3\xC3\xBA\xC3\xB1\xC3\x91\xC3\xBC\xC2\xBF\xC2\xA1"),
              "\xE1\xE9\xED\xF3\xFA\xF1\xD1\xFC\xBF\xA1");
    EXPECT_EQ(Utf8ToWindows1252("\xC2\xA0\xC3\xBF"), "\xA0\xFF");
    // euro, curly quotes, dashes, ellipsis, trade mark, Y with diaeresis
    EXPECT_EQ(Utf8ToWindows1252("\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\x98\xE2\x80\x99\xE2\x80\x93\xE2\x80\x94"
                                "\xE2\x80\xA6\xE2\x84\xA2\xC5\xB8\xC5\xA0\xC6\x92"),
              "\x80\x93\x94\x91\x92\x96\x97\x85\x99\x9F\x8A\x83");
    EXPECT_EQ(Utf8ToWindows1252(std::string_view("a\0b\x7F", 4)), std::string_view("a\0b\x7F", 4));
}

TEST(Windows1252Test, CharactersWithoutAByteBecomeOneQuestionMark) {
    EXPECT_EQ(Utf8ToWindows1252("x\xE4\xB8\xAD" "y"), "x?y");                // CJK
    EXPECT_EQ(Utf8ToWindows1252("x\xF0\x9F\x98\x80" "y"), "x?y");            // emoji
    EXPECT_EQ(Utf8ToWindows1252("\xC2\x81\xC2\x8D\xC2\x9D"), "???");         // C1 controls
    EXPECT_EQ(Utf8ToWindows1252("\xC4\x80"), "?");                           // A with macron
}

TEST(Windows1252Test, MalformedInputGivesQuestionMarksAndResumes) {
    EXPECT_EQ(Utf8ToWindows1252("a\x80" "b"), "a?b");               // stray continuation
    EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");                    // cut at the end
    EXPECT_EQ(Utf8ToWindows1252("a\xE2\x82"), "a?");                // cut after two of three
    EXPECT_EQ(Utf8ToWindows1252("a\xE2\x82" "b"), "a?b");           // cut, then ASCII
    EXPECT_EQ(Utf8ToWindows1252("\xC0\x80\xC1\xBF"), "????");       // overlong two-byte forms
    EXPECT_EQ(Utf8ToWindows1252("\xE0\x80\x80"), "???");            // overlong three-byte form
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "???");            // surrogate
    EXPECT_EQ(Utf8ToWindows1252("\xF4\x90\x80\x80"), "????");       // past U+10FFFF
    EXPECT_EQ(Utf8ToWindows1252("\xF5\xFE\xFF"), "???");            // never valid
    EXPECT_EQ(Utf8ToWindows1252("\xC3\xC3\xA1"), "?\xE1");          // new lead inside a sequence
    EXPECT_EQ(Utf8ToWindows1252(""), "");
}

std::string EncodeUtf8(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

TEST(Windows1252Test, EveryCodePageByteHasExactlyOneCharacter) {
    // 128 ASCII + 96 Latin-1 + 27 extras; the other five bytes of 0x80..0x9F
    // are undefined in the code page.
    std::array<int, 256> hits{};
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const std::string out = Utf8ToWindows1252(EncodeUtf8(c));
        ASSERT_EQ(out.size(), 1u) << static_cast<unsigned>(c);
        if (out[0] != '?' || c == U'?') {
            ++hits[static_cast<unsigned char>(out[0])];
        }
    }
    int defined = 0;
    for (unsigned b = 0; b < 256; ++b) {
        EXPECT_LE(hits[b], 1) << b;
        defined += hits[b];
    }
    EXPECT_EQ(defined, 251);
    for (unsigned b : {0x81u, 0x8Du, 0x8Fu, 0x90u, 0x9Du}) {
        EXPECT_EQ(hits[b], 0) << b;
    }
}

TEST(Windows1252Test, ArbitraryBytesNeverGrowTheText) {
    // A fixed pseudo-random sequence: the same bytes on every run.
    std::uint32_t state = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        const int length = static_cast<int>(state % 24);
        for (int i = 0; i < length; ++i) {
            state = state * 1664525u + 1013904223u;
            input += static_cast<char>(state >> 24);
        }
        state = state * 1664525u + 1013904223u;
        const std::string out = Utf8ToWindows1252(input);
        EXPECT_LE(out.size(), input.size());
        EXPECT_EQ(out.empty(), input.empty());
    }
}

TEST(StatisticsReportTest, DialogSettings) {
    const platform::FileDialogSettings settings = StatisticsFileDialog();
    EXPECT_EQ(settings.kind, platform::FileDialogKind::Save);
    EXPECT_EQ(settings.initialFolder, "C:\\velsor\\");
    ASSERT_EQ(settings.filters.size(), 2u);
    EXPECT_EQ(settings.filters[0].description, "Archivos Estad\xC3\xADsticas USB(*.est)");
    EXPECT_EQ(settings.filters[0].pattern, "*.est");
    EXPECT_EQ(settings.filters[1].description, "Todos los archivos(*.*)");
    EXPECT_EQ(settings.filters[1].pattern, "*.*");
    EXPECT_EQ(settings.defaultExtension, ".est");
}

TEST(StatisticsReportTest, WriteStoresTheBytesOrKeepsTheOldReport) {
    MemoryFileSystem fs;
    const std::string path = "C:\\velsor\\turno.est";
    const std::string report = FormatStatisticsReport(At(2026, 3, 1, 9, 5, 7, 0), AllZero());
    fs.SetFile(path, std::vector<std::uint8_t>(500, 'x'));
    ASSERT_TRUE(WriteStatisticsReport(fs, path, report));
    const auto stored = fs.File(path);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::string(stored->begin(), stored->end()), report);

    fs.FailNextWrites(1);
    EXPECT_FALSE(WriteStatisticsReport(fs, path, "other"));
    const auto kept = fs.File(path);
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(kept->begin(), kept->end()), report);
}

}  // namespace
}  // namespace storage
