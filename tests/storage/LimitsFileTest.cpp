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

const Bytes EXAMPLE_FILE = {0x00, 0x00, 0x64, 0x00, 0x96, 0x00, 0xC8, 0x00,
                            0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const Limits EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};
const Limits HELD = {100, 200, 300, 400, 500, 600, 700, 800};
constexpr std::string_view PATH = "C:\\velsor\\linea.lim";

TEST(LimitsFileTest, ExampleBothWaysOverALongerFile) {
    MemoryFileSystem fs;
    fs.SetFile(PATH, Bytes(40, 0x11));
    ASSERT_TRUE(WriteLimitsFile(fs, PATH, EXAMPLE_LIMITS));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);
    Limits limits = HELD;
    ASSERT_TRUE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, EXAMPLE_LIMITS);
    fs.FailNextWrites(1);
    EXPECT_FALSE(WriteLimitsFile(fs, PATH, HELD));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);
}

TEST(LimitsFileTest, ValuesAreSignedAndTakenAsTheyAreAShortFileIsRefused) {
    const auto encoded = EncodeLimits({-1, -32768, 32767, 2000, 700, 600, 0, 1});
    Bytes file(encoded.begin(), encoded.end());
    file.push_back(0x77);
    Limits limits = HELD;
    ASSERT_TRUE(DecodeLimits(file, limits));
    EXPECT_EQ(limits, (Limits{-1, -32768, 32767, 2000, 700, 600, 0, 1}));
    EXPECT_EQ(std::vector(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xFF, 0x00, 0x80}));
    limits = HELD;
    EXPECT_FALSE(DecodeLimits(std::span(EXAMPLE_FILE).first(15), limits));
    MemoryFileSystem fs;
    EXPECT_FALSE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, HELD);
}

TEST(FileDialogs, LimitsAndStatisticsDialogs) {
    const struct {
        platform::FileDialogSettings settings;
        platform::FileDialogKind kind;
        const char* filter;
        const char* pattern;
    } cases[] = {
        {LimitsFileDialog(platform::FileDialogKind::Save), platform::FileDialogKind::Save,
         "Archivos L\xC3\xADmites USB(*.lim)", "*.lim"},
        {LimitsFileDialog(platform::FileDialogKind::Open), platform::FileDialogKind::Open,
         "Archivos L\xC3\xADmites USB(*.lim)", "*.lim"},
        {StatisticsFileDialog(), platform::FileDialogKind::Save, "Archivos Estad\xC3\xADsticas USB(*.est)", "*.est"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(c.settings.kind, c.kind);
        EXPECT_EQ(c.settings.initialFolder, "C:\\velsor\\");
        ASSERT_EQ(c.settings.filters.size(), 2u);
        EXPECT_EQ(c.settings.filters[0].description, c.filter);
        EXPECT_EQ(c.settings.filters[0].pattern, c.pattern);
        EXPECT_EQ(c.settings.filters[1].description, "Todos los archivos(*.*)");
        EXPECT_EQ(c.settings.filters[1].pattern, "*.*");
        EXPECT_EQ(c.settings.defaultExtension, std::string(c.pattern + 1));
    }
}

}  // namespace
}  // namespace storage
