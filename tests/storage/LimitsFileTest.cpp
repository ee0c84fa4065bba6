#include "storage/LimitsFile.h"
#include "storage/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace storage {
namespace {

using Limits = std::array<std::int16_t, 8>;

const std::vector<std::uint8_t> EXAMPLE_FILE = {0x00, 0x00, 0x64, 0x00, 0x96, 0x00, 0xC8, 0x00,
                                                0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const Limits EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};
const Limits HELD = {100, 200, 300, 400, 500, 600, 700, 800};
constexpr std::string_view PATH = "C:\\velsor\\linea.lim";

TEST(LimitsEncoding, ExampleBothWays) {
    const auto bytes = EncodeLimits(EXAMPLE_LIMITS);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), EXAMPLE_FILE);

    Limits decoded = HELD;
    ASSERT_TRUE(DecodeLimits(EXAMPLE_FILE, decoded));
    EXPECT_EQ(decoded, EXAMPLE_LIMITS);
}

TEST(LimitsEncoding, ExtremeValuesRoundTrip) {
    const Limits extremes = {-1, -32768, 32767, 801, -800, 255, 256, 0};
    Limits decoded{};
    ASSERT_TRUE(DecodeLimits(EncodeLimits(extremes), decoded));
    EXPECT_EQ(decoded, extremes);

    std::vector<std::uint8_t> ffff = EXAMPLE_FILE;
    ffff[0] = 0xFF;
    ffff[1] = 0xFF;
    ASSERT_TRUE(DecodeLimits(ffff, decoded));
    EXPECT_EQ(decoded[0], -1);
    EXPECT_EQ(decoded[1], 100);
}

TEST(LimitsEncoding, ShortInputIsRefusedAndLeavesLimits) {
    for (std::size_t size : {0u, 1u, 3u, 15u}) {
        Limits limits = HELD;
        EXPECT_FALSE(DecodeLimits(std::span<const std::uint8_t>(EXAMPLE_FILE).first(size), limits)) << size;
        EXPECT_EQ(limits, HELD);
    }
}

TEST(LimitsFileTest, WriteThenReadGivesTheSameLimits) {
    MemoryFileSystem fs;
    ASSERT_TRUE(WriteLimitsFile(fs, PATH, EXAMPLE_LIMITS));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);

    Limits limits = HELD;
    ASSERT_TRUE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, EXAMPLE_LIMITS);
}

TEST(LimitsFileTest, WritingOverALongerFileLeavesExactlySixteenBytes) {
    MemoryFileSystem fs;
    fs.SetFile(PATH, std::vector<std::uint8_t>(40, 0x11));
    ASSERT_TRUE(WriteLimitsFile(fs, PATH, EXAMPLE_LIMITS));
    EXPECT_EQ(fs.File(PATH), EXAMPLE_FILE);
}

TEST(LimitsFileTest, ThreeByteFileIsRefusedAndLimitsStay) {
    MemoryFileSystem fs;
    fs.SetFile(PATH, {0x2C, 0x01, 0x50});
    Limits limits = HELD;
    EXPECT_FALSE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, HELD);
}

TEST(LimitsFileTest, MissingOrUnreadableFileIsRefused) {
    MemoryFileSystem fs;
    Limits limits = HELD;
    EXPECT_FALSE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, HELD);

    fs.SetFile(PATH, EXAMPLE_FILE);
    fs.FailNextReads(1);
    EXPECT_FALSE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, HELD);
    EXPECT_TRUE(ReadLimitsFile(fs, PATH, limits));  // only the one read failed
    EXPECT_EQ(limits, EXAMPLE_LIMITS);
}

TEST(LimitsFileTest, ExtraBytesIgnoredAndNothingValidated) {
    MemoryFileSystem fs;
    // Falling and out-of-range limits are taken as they are.
    const Limits odd = {900, 10, -5, 0, 0, 0, 0, 1};
    const auto encoded = EncodeLimits(odd);
    std::vector<std::uint8_t> bytes(encoded.begin(), encoded.end());
    bytes.insert(bytes.end(), {0x01, 0x02, 0x03});
    fs.SetFile(PATH, bytes);
    Limits limits = HELD;
    ASSERT_TRUE(ReadLimitsFile(fs, PATH, limits));
    EXPECT_EQ(limits, odd);
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
