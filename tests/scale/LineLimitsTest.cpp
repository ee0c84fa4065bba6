// The line limits as operations on their own: the edit gate of "&Guardar",
// saving (order check, limits file, send, calibration file) and loading.
#include "scale/LineLimits.h"

#include <gtest/gtest.h>

#include <tuple>

#include "scale/LimitRules.h"
#include "storage/LimitsFile.h"
#include "tests/support/OperationBench.h"
#include "tests/support/ProgramBoxes.h"

namespace {

using namespace testing_support::boxes;
using testing_support::FakeScaleLink;
using testing_support::MessageRecord;
constexpr auto CalibrationBytes = testing_support::OperationBench::CalibrationBytes;
using Boxes = std::vector<MessageRecord>;
using Bytes = std::vector<std::uint8_t>;
using Limits = std::array<std::int16_t, 8>;

constexpr std::string_view PATH = "C:\\velsor\\turno.lim";
const Limits STORED = {10, 20, 30, 40, 50, 60, 70, 80};
const Limits EXAMPLE = {0, 100, 150, 200, 250, 300, 350, 400};

Bytes LimitsFile(const Limits& limits) {
    const auto bytes = storage::EncodeLimits(limits);
    return {bytes.begin(), bytes.end()};
}

class LineLimitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(2.0f, STORED);
        bench.program.calibrationFactor = 2.0f;
    }
    void Save(const Limits& limits, std::optional<std::string> path = std::string(PATH)) {
        bench.values.lineLimits = limits;
        bench.window.ChooseNext(path);
        scale::SaveLimits(bench.context);
    }
    void Load(std::optional<std::string> path = std::string(PATH)) {
        bench.window.ChooseNext(path);
        scale::LoadLimits(bench.context);
    }
    testing_support::OperationBench bench;
};

TEST_F(LineLimitsTest, SaveOpensOnceEveryFieldWasEditedAndOnlyThenEditsAreTakenIn) {
    for (int keystroke = 0; keystroke < 8; ++keystroke) scale::LimitEdited(bench.context, 5);
    for (int line : {1, 2, 3, 4, 6, 7, 0, 9}) scale::LimitEdited(bench.context, line);
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.fields.reads, 0);
    // The last field's first edit opens the gate, then takes the window in:
    // a refused value is reported with "&Guardar" already on.
    std::vector<bool> saveOnWhileRead;
    bench.fields.onRead = [&] {
        saveOnWhileRead.push_back(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
        return false;
    };
    scale::LimitEdited(bench.context, 8);
    scale::LimitEdited(bench.context, 3);
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
    EXPECT_EQ(saveOnWhileRead, (std::vector<bool>{true, true}));
}

TEST_F(LineLimitsTest, SaveStopsAtTheFirstFailedStep) {
    const Limits falling = {0, 100, 150, 200, 250, 300, 400, 350};
    const std::tuple<Limits, bool, bool, bool, Boxes> cases[] = {
        // limits, the fields refused, the dialog cancelled, the limits file not written, the boxes
        {EXAMPLE, true, false, false, {}},
        {falling, false, false, false, {LIMITS_OUT_OF_ORDER}},
        {EXAMPLE, false, true, false, {FILE_CANCELLED}},
        {EXAMPLE, false, false, true, {LIMITS_NOT_SAVED}},
    };
    const auto calibration = bench.CalibrationFile();
    for (const auto& [limits, refuse, cancel, failWrite, boxes] : cases) {
        bench.window.messages.clear();
        bench.window.fileAnswers.clear();
        bench.fields.accept = !refuse;
        bench.files.FailNextWrites(failWrite ? 1 : 0);
        Save(limits, cancel ? std::nullopt : std::optional(std::string(PATH)));
        EXPECT_EQ(bench.window.messages, boxes);
        EXPECT_FALSE(bench.files.File(PATH).has_value());
        EXPECT_EQ(bench.CalibrationFile(), calibration);
        EXPECT_TRUE(bench.link.sent.empty());
    }
    EXPECT_EQ(bench.window.fileDialogs.size(), 2u) << "only once the fields and their order passed";
}

// Limits can be prepared before the scale is calibrated or while it does not
// answer: both files are written, only the send depends on the factor.
TEST_F(LineLimitsTest, SaveWritesBothFilesAndSendsTheCountsAtTheFactor) {
    const std::tuple<float, bool, MessageRecord, std::vector<FakeScaleLink::Sent>> cases[] = {
        // factor, the send works, the box, what was sent
        {2.0f, true, LIMITS_SENT, {{scale::LimitsToCounts(EXAMPLE, 2.0f), 200}}},
        {2.5f, false, LIMITS_NOT_SENT, {{scale::LimitsToCounts(EXAMPLE, 2.5f), 200}}},
        {0.0f, true, UNCALIBRATED, {}},
    };
    for (const auto& [factor, sendWorks, box, sent] : cases) {
        bench.window.messages.clear();
        bench.link.sent.clear();
        bench.files.SetFile(PATH, Bytes(40, 0x55));
        bench.program.calibrationFactor = factor;
        bench.link.sendWorks = sendWorks;
        Save(EXAMPLE);
        EXPECT_EQ(bench.window.messages, Boxes{box});
        EXPECT_EQ(bench.link.sent, sent);
        EXPECT_EQ(bench.files.File(PATH), LimitsFile(EXAMPLE));
        EXPECT_EQ(bench.CalibrationFile(), CalibrationBytes(factor, EXAMPLE));
        EXPECT_EQ(bench.window.fileDialogs.back().kind, platform::FileDialogKind::Save);
    }
}

TEST_F(LineLimitsTest, LoadShowsTheFileAsItIsAndSendsItWithoutTouchingTheCalibration) {
    const Limits falling = {800, 700, 600, 500, 300, -1, 100, 2000};  // no order or range check
    bench.files.SetFile(PATH, LimitsFile(falling));
    bench.program.limitEditMask = 0x7F;
    const std::size_t operations = bench.files.operations.size();
    Load();
    EXPECT_EQ(bench.window.messages, Boxes{LIMITS_SENT});
    EXPECT_EQ(bench.window.fileDialogs.at(0).kind, platform::FileDialogKind::Open);
    EXPECT_EQ(bench.values.lineLimits, falling);
    EXPECT_EQ(bench.fields.loadedShows, 1);
    EXPECT_EQ(bench.fields.reads, 0);
    EXPECT_EQ(bench.link.sent, (std::vector<FakeScaleLink::Sent>{{scale::LimitsToCounts(falling, 2.0f), 300}}));
    EXPECT_EQ(bench.files.operations.size(), operations + 1) << "the one read, no write";
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
}

TEST_F(LineLimitsTest, LoadStopsWhenNothingCanBeReadAndSendsOnlyWhenCalibrated) {
    bench.values.lineLimits = STORED;
    Load(std::nullopt);
    Load();  // no such file
    EXPECT_EQ(bench.window.messages, (Boxes{FILE_CANCELLED, LIMITS_NOT_READ}));
    EXPECT_EQ(bench.values.lineLimits, STORED);
    EXPECT_EQ(bench.fields.loadedShows, 0);

    bench.window.messages.clear();
    bench.files.SetFile(PATH, LimitsFile(EXAMPLE));
    bench.program.calibrationFactor = 0.0f;
    Load();
    EXPECT_EQ(bench.window.messages, Boxes{UNCALIBRATED});
    EXPECT_EQ(bench.values.lineLimits, EXAMPLE);
    EXPECT_EQ(bench.fields.loadedShows, 1);
    EXPECT_TRUE(bench.link.sent.empty());
}

}  // namespace
