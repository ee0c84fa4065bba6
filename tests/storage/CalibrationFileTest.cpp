#include "storage/CalibrationFile.h"
#include "tests/support/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <vector>

namespace storage {
namespace {

using testing_support::MemoryFileSystem;
using Bytes = std::vector<std::uint8_t>;

const Bytes EXAMPLE_FILE = {0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0x64, 0x00, 0x96, 0x00,
                            0xC8, 0x00, 0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const std::array<std::int16_t, 8> EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};
const CalibrationData HELD{7.25f, {11, 22, 33, 44, 55, 66, 77, 88}};

Bytes WithFactor(float factor) {
    Bytes bytes = EXAMPLE_FILE;
    const auto bits = std::bit_cast<std::uint32_t>(factor);
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return bytes;
}

void ExpectHeld(const CalibrationData& out) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(out.factor), std::bit_cast<std::uint32_t>(HELD.factor));
    EXPECT_EQ(out.limits, HELD.limits);
}

TEST(CalibrationFileTest, ExampleBothWaysOnTheFixedLowerCasePath) {
    MemoryFileSystem fs;
    fs.SetFile("c:\\velsor\\usb.ini", Bytes(57, 0xEE));  // replaced whole
    ASSERT_TRUE(SaveCalibrationFile(fs, CalibrationData{2.5f, EXAMPLE_LIMITS}));
    EXPECT_EQ(fs.File("c:\\velsor\\usb.ini"), EXAMPLE_FILE);

    CalibrationData out = HELD;
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Loaded);
    EXPECT_EQ(out.factor, 2.5f);
    EXPECT_EQ(out.limits, EXAMPLE_LIMITS);
}

TEST(CalibrationFileTest, MissingOrUnreadableFileLeavesTheValues) {
    MemoryFileSystem fs;
    CalibrationData out = HELD;
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Missing);
    fs.SetFile(CALIBRATION_FILE_PATH, EXAMPLE_FILE);
    fs.FailNextReads(1);
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Missing);
    ExpectHeld(out);
}

TEST(CalibrationFileTest, DamagedFilesAreInvalidAndLeaveTheValues) {
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"10 bytes", Bytes(EXAMPLE_FILE.begin(), EXAMPLE_FILE.begin() + 10)},
        {"19 bytes", Bytes(EXAMPLE_FILE.begin(), EXAMPLE_FILE.begin() + 19)},
        {"factor 0", WithFactor(0.0f)},
        {"factor -0", WithFactor(-0.0f)},
        {"factor -38", WithFactor(-38.0f)},
        {"factor inf", WithFactor(std::numeric_limits<float>::infinity())},
        {"factor NaN", WithFactor(std::numeric_limits<float>::quiet_NaN())},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        MemoryFileSystem fs;
        fs.SetFile(CALIBRATION_FILE_PATH, bytes);
        CalibrationData out = HELD;
        EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Invalid);
        ExpectHeld(out);
    }
}

TEST(CalibrationFileTest, SmallestPositiveFactorLoadsAndBytesPastTheTwentiethAreIgnored) {
    Bytes bytes = WithFactor(std::numeric_limits<float>::denorm_min());
    bytes[4] = bytes[5] = 0xFF;
    bytes.insert(bytes.end(), 3, 0xAB);
    MemoryFileSystem fs;
    fs.SetFile(CALIBRATION_FILE_PATH, bytes);
    CalibrationData out;
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Loaded);
    EXPECT_EQ(out.factor, std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(out.limits[0], -1);
    EXPECT_EQ(out.limits[7], 400);
}

TEST(CalibrationFileTest, FailedWriteIsReportedAndKeepsTheOldFile) {
    MemoryFileSystem fs;
    fs.SetFile(CALIBRATION_FILE_PATH, EXAMPLE_FILE);
    fs.FailNextWrites(1);
    EXPECT_FALSE(SaveCalibrationFile(fs, CalibrationData{9.0f, {}}));
    EXPECT_EQ(fs.File(CALIBRATION_FILE_PATH), EXAMPLE_FILE);
}

}  // namespace
}  // namespace storage
