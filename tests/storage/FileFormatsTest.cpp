// The calibration and limits files' bytes, which files load, and the file dialogs.
#include "storage/CalibrationFile.h"
#include "storage/LimitsFile.h"
#include "storage/StatisticsReport.h"
#include "tests/support/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <tuple>
#include <vector>

namespace storage {
namespace {

using testing_support::MemoryFileSystem;
using Bytes = std::vector<std::uint8_t>;
using Limits = std::array<std::int16_t, 8>;
using Float = std::numeric_limits<float>;

// A factor of 2.5 and the limits 0, 100, ..., 400.
const Bytes EXAMPLE_FILE = {0x00, 0x00, 0x20, 0x40, 0x00, 0x00, 0x64, 0x00, 0x96, 0x00,
                            0xC8, 0x00, 0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const Limits EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};
const CalibrationData HELD{7.25f, {11, 22, 33, 44, 55, 66, 77, 88}};

Bytes WithFactor(float factor, Bytes bytes = EXAMPLE_FILE) {
    const auto bits = std::bit_cast<std::uint32_t>(factor);
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return bytes;
}

TEST(CalibrationFileTest, ExampleWrittenWholeOnTheFixedLowerCasePathAndOnlyTwentyBytesWithASoundFactorLoad) {
    MemoryFileSystem saved;
    saved.SetFile("c:\\velsor\\usb.ini", Bytes(57, 0xEE));
    ASSERT_TRUE(SaveCalibrationFile(saved, CalibrationData{2.5f, EXAMPLE_LIMITS}));
    EXPECT_EQ(saved.File("c:\\velsor\\usb.ini"), EXAMPLE_FILE);
    Bytes longer = WithFactor(Float::denorm_min());
    longer[4] = longer[5] = 0xFF;  // line 1: -1
    longer.insert(longer.end(), 3, 0xAB);
    const CalibrationData longerData{Float::denorm_min(), {-1, 100, 150, 200, 250, 300, 350, 400}};
    const std::tuple<const char*, std::optional<Bytes>, CalibrationLoad, CalibrationData> cases[] = {
        // name, the file (nullopt: none), the result, the data afterwards
        {"example", EXAMPLE_FILE, CalibrationLoad::Loaded, {2.5f, EXAMPLE_LIMITS}},
        {"longer, smallest factor", longer, CalibrationLoad::Loaded, longerData},
        {"no file", std::nullopt, CalibrationLoad::Missing, HELD},
        {"empty", Bytes{}, CalibrationLoad::Invalid, HELD},
        {"19 bytes", Bytes(EXAMPLE_FILE.begin(), EXAMPLE_FILE.end() - 1), CalibrationLoad::Invalid, HELD},
        {"factor 0", WithFactor(0.0f), CalibrationLoad::Invalid, HELD},
        {"factor -0", WithFactor(-0.0f), CalibrationLoad::Invalid, HELD},
        {"factor -38", WithFactor(-38.0f), CalibrationLoad::Invalid, HELD},
        {"factor inf", WithFactor(Float::infinity()), CalibrationLoad::Invalid, HELD},
        {"factor NaN", WithFactor(Float::quiet_NaN()), CalibrationLoad::Invalid, HELD},
    };
    for (const auto& [name, file, result, loaded] : cases) {
        SCOPED_TRACE(name);
        MemoryFileSystem fs;
        if (file) fs.SetFile(CALIBRATION_FILE_PATH, *file);
        CalibrationData out = HELD;
        EXPECT_EQ(LoadCalibrationFile(fs, out), result);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(out.factor), std::bit_cast<std::uint32_t>(loaded.factor));
        EXPECT_EQ(out.limits, loaded.limits);
    }
}

const Limits HELD_LIMITS = {100, 200, 300, 400, 500, 600, 700, 800};
constexpr std::string_view PATH = "C:\\velsor\\linea.lim";

TEST(LimitsFileTest, SixteenBytesOfSignedLittleEndianLimitsBothWays) {
    const struct {
        std::optional<Bytes> file;     // nullopt: no file
        std::optional<Limits> limits;  // nullopt: refused, the held ones kept
    } cases[] = {
        {Bytes(EXAMPLE_FILE.begin() + 4, EXAMPLE_FILE.end()), EXAMPLE_LIMITS},  // the calibration file's tail
        // Taken as they are (no range or order check); a longer file's tail is ignored.
        {Bytes{0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0xD0, 0x07, 0xBC, 0x02, 0x58, 0x02, 0x00, 0x00, 0x01, 0x00, 0x77},
         Limits{-1, -32768, 32767, 2000, 700, 600, 0, 1}},
        {Bytes(15, 0x01), std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        MemoryFileSystem fs;
        if (c.file) fs.SetFile(PATH, *c.file);
        Limits limits = HELD_LIMITS;
        EXPECT_EQ(ReadLimitsFile(fs, PATH, limits), c.limits ? FileFailure::None
                                                    : c.file ? FileFailure::Damaged
                                                             : FileFailure::NotFound);
        EXPECT_EQ(limits, c.limits.value_or(HELD_LIMITS));
        if (!c.limits) continue;
        fs.SetFile(PATH, Bytes(40, 0x11));
        ASSERT_TRUE(WriteLimitsFile(fs, PATH, *c.limits));
        EXPECT_EQ(fs.File(PATH), Bytes(c.file->begin(), c.file->begin() + 16));
    }
}

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
