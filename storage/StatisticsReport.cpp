#include "storage/StatisticsReport.h"

#include "storage/LimitsFile.h"

#include <cstdint>
#include <cstdio>
#include <span>

namespace storage {

namespace {

constexpr char UNMAPPABLE = '?';

// The characters that Windows-1252 puts at 0x80 to 0x9F; 0 where the code
// page leaves the byte undefined.
constexpr std::array<char32_t, 32> HIGH_CONTROL_RANGE = {
    U'\u20AC', 0,         U'\u201A', U'\u0192', U'\u201E', U'\u2026', U'\u2020', U'\u2021',
    U'\u02C6', U'\u2030', U'\u0160', U'\u2039', U'\u0152', 0,         U'\u017D', 0,
    0,         U'\u2018', U'\u2019', U'\u201C', U'\u201D', U'\u2022', U'\u2013', U'\u2014',
    U'\u02DC', U'\u2122', U'\u0161', U'\u203A', U'\u0153', 0,         U'\u017E', U'\u0178',
};

char ToWindows1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(static_cast<unsigned char>(c));
    }
    for (std::size_t i = 0; i < HIGH_CONTROL_RANGE.size(); ++i) {
        if (HIGH_CONTROL_RANGE[i] != 0 && HIGH_CONTROL_RANGE[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return UNMAPPABLE;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

constexpr std::array<std::string_view, 7> DAY_NAMES = {
    "Domingo", "Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado",
};

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Length of the sequence and the range its second byte must lie in,
        // which rules out overlong forms, surrogates and values past U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            out += UNMAPPABLE;  // a stray continuation byte or an invalid lead
            ++i;
            continue;
        }
        // A broken sequence gives one '?' for the longest valid start of it,
        // and decoding resumes at the first byte that did not fit.
        std::size_t taken = 1;
        bool complete = true;
        for (; taken < length; ++taken) {
            if (i + taken >= utf8.size()) {
                complete = false;
                break;
            }
            const auto b = static_cast<unsigned char>(utf8[i + taken]);
            const bool fits = taken == 1 ? (b >= low && b <= high) : IsContinuation(b);
            if (!fits) {
                complete = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        out += complete ? ToWindows1252(c) : UNMAPPABLE;
        i += taken;
    }
    return out;
}

std::string_view DayName(int dayOfWeek) {
    if (dayOfWeek < 0 || dayOfWeek >= static_cast<int>(DAY_NAMES.size())) {
        return "?";
    }
    return DAY_NAMES[static_cast<std::size_t>(dayOfWeek)];
}

std::string FormatReportDate(const platform::LocalDateTime& when) {
    // Ample for any int values: at most 11 characters each.
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " %02d/%02d/%d  %02d:%02d:%02d", when.day, when.month, when.year, when.hour,
                  when.minute, when.second);
    return std::string(DayName(when.dayOfWeek)) + numbers;
}

std::string FormatStatisticsReport(const platform::LocalDateTime& when, const ReportFigures& figures) {
    std::string text = "Archivo de Estadísticas\n" + FormatReportDate(when) + "\n\n";
    for (std::size_t line = 0; line < figures.lineCounts.size(); ++line) {
        text += "Linea " + std::to_string(line) + ":   " + figures.lineCounts[line] + " Unidades    " +
                figures.lineKilograms[line] + " Kilogramos\n";
    }
    text += "\nTotales:   " + figures.totalCount + " Unidades    " + figures.totalKilograms + " Kilogramos";

    // Written the way a text-mode file on Windows is: every line feed as CR LF.
    std::string bytes;
    bytes.reserve(text.size() + 16);
    for (const char c : Utf8ToWindows1252(text)) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    return bytes;
}

platform::FileDialogSettings StatisticsFileDialog() {
    platform::FileDialogSettings settings;
    settings.kind = platform::FileDialogKind::Save;
    settings.initialFolder = std::string(FILE_DIALOG_FOLDER);
    settings.filters = {{"Archivos Estadísticas USB(*.est)", "*.est"}, {"Todos los archivos(*.*)", "*.*"}};
    settings.defaultExtension = ".est";
    return settings;
}

bool WriteStatisticsReport(FileSystem& fileSystem, std::string_view path, std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return fileSystem.ReplaceFile(path, std::span<const std::uint8_t>(data, bytes.size()));
}

}  // namespace storage
