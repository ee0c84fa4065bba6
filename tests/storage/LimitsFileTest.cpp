// The limits file both ways, and the file dialogs of the limits and the report.
#include "storage/LimitsFile.h"
#include "storage/StatisticsReport.h"
#include "tests/support/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace storage {
namespace {

using testing_support::MemoryFileSystem;
using Bytes = std::vector<std::uint8_t>;
using Limits = std::array<std::int16_t, 8>;

const Limits HELD = {100, 200, 300, 400, 500, 600, 700, 800};
constexpr std::string_view PATH = "C:\\velsor\\linea.lim";

TEST(LimitsFileTest, SixteenBytesOfSignedLittleEndianLimitsBothWays) {
    const struct {
        std::optional<Bytes> file;     // nullopt: no file
        std::optional<Limits> limits;  // nullopt: refused, the held ones kept
    } cases[] = {
        {Bytes{0x00, 0x00, 0x64, 0x00, 0x96, 0x00, 0xC8, 0x00, 0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01},
         Limits{0, 100, 150, 200, 250, 300, 350, 400}},
        // Taken as they are (no range or order check); a longer file's tail is ignored.
        {Bytes{0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0xD0, 0x07, 0xBC, 0x02, 0x58, 0x02, 0x00, 0x00, 0x01, 0x00, 0x77},
         Limits{-1, -32768, 32767, 2000, 700, 600, 0, 1}},
        {Bytes(15, 0x01), std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        MemoryFileSystem fs;
        if (c.file) fs.SetFile(PATH, *c.file);
        Limits limits = HELD;
        EXPECT_EQ(ReadLimitsFile(fs, PATH, limits), c.limits.has_value());
        EXPECT_EQ(limits, c.limits.value_or(HELD));
        if (!c.limits) continue;
        fs.SetFile(PATH, Bytes(40, 0x11));
        ASSERT_TRUE(WriteLimitsFile(fs, PATH, *c.limits));
        EXPECT_EQ(fs.File(PATH), Bytes(c.file->begin(), c.file->begin() + 16));
    }
}

// Kind, folder, default extension and filters on one line.
std::string Flat(const platform::FileDialogSettings& s) {
    std::string text = s.kind == platform::FileDialogKind::Save ? "save " : "open ";
    text += s.initialFolder + " " + s.defaultExtension;
    for (const auto& filter : s.filters) text += " | " + filter.description + " " + filter.pattern;
    return text;
}

TEST(FileDialogs, LimitsAndStatisticsDialogs) {
    const std::string limits = "C:\\velsor\\ .lim | Archivos L\xC3\xADmites USB(*.lim) *.lim";
    const std::string all = " | Todos los archivos(*.*) *.*";
    EXPECT_EQ(Flat(LimitsFileDialog(platform::FileDialogKind::Save)), "save " + limits + all);
    EXPECT_EQ(Flat(LimitsFileDialog(platform::FileDialogKind::Open)), "open " + limits + all);
    EXPECT_EQ(Flat(StatisticsFileDialog()),
              "save C:\\velsor\\ .est | Archivos Estad\xC3\xADsticas USB(*.est) *.est" + all);
}

}  // namespace
}  // namespace storage
