#include "storage/LimitsFile.h"
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
// Unordered, out-of-range, short, missing and unreadable files are loaded
// through the program in tests/scale/LineLimitsTest.
constexpr std::string_view PATH = "C:\\velsor\\linea.lim";

TEST(LimitsFileTest, ExampleBothWaysOverALongerFile) {
    MemoryFileSystem fs;
    fs.SetFile(PATH, Bytes(40, 0x11));
    ASSERT_TRUE(WriteLimitsFile(fs, PATH, EXAMPLE_LIMITS));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);
    Limits limits = HELD;
    ASSERT_TRUE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, EXAMPLE_LIMITS);
}

TEST(LimitsFileTest, FailedWriteKeepsTheOldFile) {
    MemoryFileSystem fs;
    fs.SetFile(PATH, EXAMPLE_FILE);
    fs.FailNextWrites(1);
    EXPECT_FALSE(WriteLimitsFile(fs, PATH, HELD));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);
}

TEST(LimitsFileTest, DialogSettings) {
    for (auto kind : {platform::FileDialogKind::Save, platform::FileDialogKind::Open}) {
        const platform::FileDialogSettings settings = LimitsFileDialog(kind);
        EXPECT_EQ(settings.kind, kind);
        EXPECT_EQ(settings.initialFolder, "C:\\velsor\\");
        ASSERT_EQ(settings.filters.size(), 2u);
        EXPECT_EQ(settings.filters[0].description, "Archivos L\xC3\xADmites USB(*.lim)");
        EXPECT_EQ(settings.filters[0].pattern, "*.lim");
        EXPECT_EQ(settings.filters[1].description, "Todos los archivos(*.*)");
        EXPECT_EQ(settings.filters[1].pattern, "*.*");
        EXPECT_EQ(settings.defaultExtension, ".lim");
    }
}

}  // namespace
}  // namespace storage
