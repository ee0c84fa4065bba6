#include "storage/CalibrationFile.h"
#include "storage/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace storage {
namespace {

const std::vector<std::uint8_t> EXAMPLE_FILE = {0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0x64, 0x00, 0x96, 0x00,
                                                0xC8, 0x00, 0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const std::array<std::int16_t, 8> EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};

std::vector<std::uint8_t> WithFactor(float factor) {
    std::vector<std::uint8_t> bytes = EXAMPLE_FILE;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &factor, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    return bytes;
}

CalibrationData Sentinel() {
    CalibrationData data;
    data.factor = 7.25f;
    data.limits = {11, 22, 33, 44, 55, 66, 77, 88};
    return data;
}

void ExpectSame(const CalibrationData& expected, const CalibrationData& actual) {
    EXPECT_EQ(std::memcmp(&expected.factor, &actual.factor, sizeof(float)), 0) << actual.factor;
    EXPECT_EQ(expected.limits, actual.limits);
}

TEST(CalibrationEncoding, ExampleIsByteExact) {
    const CalibrationData data{2.5f, EXAMPLE_LIMITS};
    const auto bytes = EncodeCalibration(data);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), EXAMPLE_FILE);
}

TEST(CalibrationEncoding, StoresValuesAsHeldWithoutChecks) {
    // A negative factor and limits outside 0..800 are stored unchanged.
    const CalibrationData data{-1.0f, {-1, 32767, -32768, 801, 0, 0, 0, 0x1234}};
    const auto b = EncodeCalibration(data);
    EXPECT_EQ((std::array<std::uint8_t, 4>{b[0], b[1], b[2], b[3]}), (std::array<std::uint8_t, 4>{0x00, 0x00, 0x80, 0xBF}));
    EXPECT_EQ(b[4], 0xFF);
    EXPECT_EQ(b[5], 0xFF);
    EXPECT_EQ(b[6], 0xFF);
    EXPECT_EQ(b[7], 0x7F);
    EXPECT_EQ(b[8], 0x00);
    EXPECT_EQ(b[9], 0x80);
    EXPECT_EQ(b[10], 0x21);
    EXPECT_EQ(b[11], 0x03);
    EXPECT_EQ(b[18], 0x34);
    EXPECT_EQ(b[19], 0x12);
}

TEST(CalibrationLoadTest, ExampleFileLoads) {
    MemoryFileSystem fs;
    fs.SetFile(CALIBRATION_FILE_PATH, EXAMPLE_FILE);
    CalibrationData out = Sentinel();
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Loaded);
    EXPECT_EQ(out.factor, 2.5f);
    EXPECT_EQ(out.limits, EXAMPLE_LIMITS);
}

TEST(CalibrationLoadTest, ReadsTheFixedLowerCasePath) {
    MemoryFileSystem fs;
    fs.SetFile("C:\\velsor\\usb.ini", EXAMPLE_FILE);  // not the name the program uses
    CalibrationData out = Sentinel();
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Missing);
    EXPECT_EQ(CALIBRATION_FILE_PATH, "c:\\velsor\\usb.ini");
    ExpectSame(Sentinel(), out);
}

TEST(CalibrationLoadTest, MissingOrUnreadableFileLeavesValues) {
    MemoryFileSystem fs;
    CalibrationData out = Sentinel();
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Missing);
    ExpectSame(Sentinel(), out);

    fs.SetFile(CALIBRATION_FILE_PATH, EXAMPLE_FILE);
    fs.FailNextReads(1);
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Missing);
    ExpectSame(Sentinel(), out);
}

TEST(CalibrationLoadTest, DamagedFilesAreInvalidAndLeaveValues) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"10 bytes", std::vector<std::uint8_t>(EXAMPLE_FILE.begin(), EXAMPLE_FILE.begin() + 10)},
        {"19 bytes", std::vector<std::uint8_t>(EXAMPLE_FILE.begin(), EXAMPLE_FILE.begin() + 19)},
        {"factor 0", WithFactor(0.0f)},
        {"factor -0", WithFactor(-0.0f)},
        {"factor -38", WithFactor(-38.0f)},
        {"factor inf", WithFactor(std::numeric_limits<float>::infinity())},
        {"factor -inf", WithFactor(-std::numeric_limits<float>::infinity())},
        {"factor NaN", WithFactor(std::numeric_limits<float>::quiet_NaN())},
    };
    for (const Case& c : cases) {
        MemoryFileSystem fs;
        fs.SetFile(CALIBRATION_FILE_PATH, c.bytes);
        CalibrationData out = Sentinel();
        EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Invalid) << c.name;
        ExpectSame(Sentinel(), out);
    }
}

TEST(CalibrationLoadTest, BytesAfterTheTwentiethAreIgnored) {
    for (std::size_t extra : {1u, 2u, 100u}) {
        MemoryFileSystem fs;
        std::vector<std::uint8_t> bytes = WithFactor(0.75f);
        bytes.insert(bytes.end(), extra, 0xAB);
        fs.SetFile(CALIBRATION_FILE_PATH, bytes);
        CalibrationData out = Sentinel();
        EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Loaded) << extra;
        EXPECT_EQ(out.factor, 0.75f);
        EXPECT_EQ(out.limits, EXAMPLE_LIMITS);
    }
}

TEST(CalibrationLoadTest, SmallestPositiveFactorAndFFFFLimitsLoad) {
    MemoryFileSystem fs;
    std::vector<std::uint8_t> bytes = WithFactor(std::numeric_limits<float>::denorm_min());
    bytes[4] = 0xFF;
    bytes[5] = 0xFF;
    fs.SetFile(CALIBRATION_FILE_PATH, bytes);
    CalibrationData out;
    EXPECT_EQ(LoadCalibrationFile(fs, out), CalibrationLoad::Loaded);
    EXPECT_EQ(out.factor, std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(out.limits[0], -1);
}

TEST(CalibrationSaveTest, ReplacesAnyEarlierFileWithExactlyTwentyBytes) {
    MemoryFileSystem fs;
    fs.SetFile(CALIBRATION_FILE_PATH, std::vector<std::uint8_t>(57, 0xEE));
    ASSERT_TRUE(SaveCalibrationFile(fs, CalibrationData{2.5f, EXAMPLE_LIMITS}));
    EXPECT_EQ(fs.File(CALIBRATION_FILE_PATH), EXAMPLE_FILE);

    CalibrationData back;
    EXPECT_EQ(LoadCalibrationFile(fs, back), CalibrationLoad::Loaded);
    EXPECT_EQ(back.factor, 2.5f);
    EXPECT_EQ(back.limits, EXAMPLE_LIMITS);
}

TEST(CalibrationSaveTest, FailedWriteIsReportedAndKeepsTheOldFile) {
    MemoryFileSystem fs;
    fs.SetFile(CALIBRATION_FILE_PATH, EXAMPLE_FILE);
    fs.FailNextWrites(1);
    EXPECT_FALSE(SaveCalibrationFile(fs, CalibrationData{9.0f, {}}));
    EXPECT_EQ(fs.File(CALIBRATION_FILE_PATH), EXAMPLE_FILE);
}

}  // namespace
}  // namespace storage
