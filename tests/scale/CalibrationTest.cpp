// The starting mode, calibration against the reference weight and test mode,
// as operations on their own.
#include "scale/Calibration.h"

#include <gtest/gtest.h>

#include "tests/support/OperationBench.h"
#include "tests/support/ProgramBoxes.h"

namespace {

using namespace testing_support::boxes;
using platform::MessageResult;
using testing_support::MessageRecord;
using Boxes = std::vector<MessageRecord>;
using Limits = std::array<std::int16_t, 8>;

const Limits STORED = {0, 100, 150, 200, 250, 300, 350, 400};

const std::vector<bool> READY = {true, false, true, true, false, false};

class CalibrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(2.5f, STORED);
        bench.program.calibrationFactor = 2.5f;
        bench.values.lineLimits = STORED;
        bench.window.EnableControl(platform::IDC_START_WORK, true);
    }
    testing_support::OperationBench bench;
};

TEST_F(CalibrationTest, StartingModeFollowsTheCalibrationFile) {
    const struct {
        std::optional<std::vector<std::uint8_t>> file;  // nullopt: none
        Boxes boxes;
    } cases[] = {
        {std::nullopt, {CONFIGURATION_MISSING}},
        {std::vector<std::uint8_t>(19, 1), {CONFIGURATION_INVALID}},
    };
    for (const auto& c : cases) {
        testing_support::OperationBench b;
        if (c.file) b.files.SetFile(storage::CALIBRATION_FILE_PATH, *c.file);
        scale::ChooseStartingMode(b.context);
        EXPECT_EQ(b.window.messages, c.boxes);
        EXPECT_FALSE(b.window.IsControlEnabled(platform::IDC_START_WORK));
        EXPECT_FALSE(b.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
        EXPECT_EQ(b.fields.loadedShows, 0);
    }
    testing_support::OperationBench b;
    b.StoreCalibration(2.5f, STORED);
    scale::ChooseStartingMode(b.context);
    EXPECT_TRUE(b.window.messages.empty());
    EXPECT_TRUE(b.window.IsControlEnabled(platform::IDC_START_WORK));
    EXPECT_TRUE(b.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    EXPECT_EQ(b.program.calibrationFactor, 2.5f);
    EXPECT_EQ(b.values.lineLimits, STORED);
    EXPECT_EQ(b.fields.loadedShows, 1);
}

TEST_F(CalibrationTest, ReferenceWeightOverTheReadingsDifferenceIsTheNewFactorAndIsSaved) {
    bench.window.StartTimer(platform::TIMER_TEST, 100);
    bench.window.StartTimer(platform::TIMER_WORK, 100);
    std::vector<bool> startWorkWhileAsked;
    bench.window.whileMessageOpen = [&](const MessageRecord&) {
        startWorkWhileAsked.push_back(bench.window.IsControlEnabled(platform::IDC_START_WORK));
    };
    bench.link.weights = {12, 107};
    scale::Calibrate(bench.context);
    EXPECT_EQ(bench.window.messages, (Boxes{CLEAR_SCALE, PUT_WEIGHT, CALIBRATED}));
    EXPECT_EQ(startWorkWhileAsked, std::vector<bool>(3, false));
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);  // 190 g over 95 counts
    EXPECT_EQ(bench.program.zeroCount, 12);
    EXPECT_EQ(bench.CalibrationFile(), bench.CalibrationBytes(2.0f, STORED));
    EXPECT_EQ(bench.ModeButtons(), READY);

    // 600 g over 255 counts: worked out in double precision, stored as a float.
    bench.values.referenceWeight = 600;
    bench.link.weights = {0, 255};
    scale::Calibrate(bench.context);
    EXPECT_EQ(bench.program.calibrationFactor, static_cast<float>(600.0 / 255.0));
}

TEST_F(CalibrationTest, EveryOtherEndKeepsTheFactorAndTheFile) {
    const struct {
        const char* name;
        std::vector<MessageResult> answers;
        std::deque<std::uint8_t> weights;
        Boxes boxes;
        std::uint8_t zero;
    } cases[] = {
        {"cancel first", {MessageResult::Cancel}, {33}, {CLEAR_SCALE, CALIBRATION_CANCELLED}, 7},
        {"cancel second",
         {MessageResult::Ok, MessageResult::Cancel},
         {33},
         {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_CANCELLED},
         33},
        {"no zero reading", {}, {}, {CLEAR_SCALE, CALIBRATION_UNREAD}, 7},
        {"no reference reading", {}, {12}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_UNREAD}, 12},
        {"equal readings", {}, {40, 40}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40},
        {"lower reading", {}, {40, 35}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40},
    };
    const auto before = bench.CalibrationFile();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.window.messages.clear();
        bench.program.zeroCount = 7;
        for (MessageResult answer : c.answers) bench.window.AnswerNext(answer);
        bench.link.weights = c.weights;
        scale::Calibrate(bench.context);
        EXPECT_EQ(bench.window.messages, c.boxes);
        EXPECT_EQ(bench.program.zeroCount, c.zero);
        EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
        EXPECT_EQ(bench.CalibrationFile(), before);
        EXPECT_EQ(bench.ModeButtons(), READY);
    }
}

TEST_F(CalibrationTest, AFileThatCannotBeWrittenIsReportedAndTheNewFactorStaysInForce) {
    bench.files.FailNextWrites(1);
    bench.link.weights = {12, 107};
    scale::Calibrate(bench.context);
    EXPECT_EQ(bench.window.messages, (Boxes{CLEAR_SCALE, PUT_WEIGHT, ConfigurationNotSaved(CALIBRATION)}));
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);
}

TEST_F(CalibrationTest, ARefusedFieldStopsBeforeAnyQuestionButTheTimersAreStopped) {
    bench.window.StartTimer(platform::TIMER_WORK, 100);
    bench.fields.accept = false;
    bench.link.weights = {12, 107};
    scale::Calibrate(bench.context);
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.link.weights.size(), 2u);
}

TEST_F(CalibrationTest, TestModeShowsNetGramsAndRawCounts) {
    bench.link.weights = {12};
    scale::StartTest(bench.context);
    EXPECT_EQ(bench.window.messages, Boxes{TEST_CLEAR_SCALE});
    EXPECT_EQ(bench.window.timers, (std::map<int, unsigned>{{platform::TIMER_TEST, 100u}}));
    EXPECT_EQ(bench.ModeButtons(), (std::vector<bool>{false, false, false, false, true, false}));

    const struct {
        std::optional<std::uint8_t> reading;
        float factor;
        const char* grams;
        const char* counts;
    } ticks[] = {
        {12, 2.5f, "0", "12"},        {107, 2.5f, "238", "107"},  // 95 x 2.5 = 237.5
        {10, 2.5f, "-5", "10"},                                   // below the zero: negative, not wrapped round
        {11, 0.1f, "0", "11"},                                    // -0.1 g: never "-0"
        {std::nullopt, 2.5f, "", ""},
    };
    for (const auto& t : ticks) {
        if (t.reading) bench.link.weights = {*t.reading};
        bench.program.calibrationFactor = t.factor;
        const int shows = bench.fields.shows;
        scale::ShowTestReading(bench.context);
        EXPECT_EQ(bench.values.gramsText, t.grams);
        EXPECT_EQ(bench.values.countsText, t.counts);
        EXPECT_EQ(bench.fields.shows, shows + 1);
    }
    EXPECT_EQ(bench.window.messages.size(), 1u);

    scale::StopTest(bench.context);
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.values.gramsText, "0");
    EXPECT_EQ(bench.values.countsText, "0");
    EXPECT_EQ(bench.ModeButtons(), READY);
}

TEST_F(CalibrationTest, TestModeNeedsAZeroReading) {
    bench.program.zeroCount = 7;
    const auto before = bench.window.enabled;
    scale::StartTest(bench.context);
    EXPECT_EQ(bench.window.messages, (Boxes{TEST_CLEAR_SCALE, TEST_UNREAD}));
    EXPECT_EQ(bench.program.zeroCount, 7);
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.window.enabled, before);
}

}  // namespace
