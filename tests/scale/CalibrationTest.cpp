// The starting mode, calibration against the reference weight and test mode,
// as operations on their own: what they ask, read, store and enable.
#include "scale/Calibration.h"

#include <gtest/gtest.h>

#include <tuple>

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
    const std::pair<std::optional<std::vector<std::uint8_t>>, Boxes> cases[] = {
        // the file (none), the boxes
        {std::nullopt, {CONFIGURATION_MISSING}},
        {std::vector<std::uint8_t>(19, 1), {CONFIGURATION_INVALID}},
        {testing_support::OperationBench::CalibrationBytes(2.5f, STORED), {}},
    };
    for (const auto& [file, boxes] : cases) {
        testing_support::OperationBench b;
        if (file) b.files.SetFile(storage::CALIBRATION_FILE_PATH, *file);
        scale::ChooseStartingMode(b.context);
        const bool loaded = boxes.empty();
        EXPECT_EQ(b.window.messages, boxes);
        EXPECT_EQ(b.window.IsControlEnabled(platform::IDC_START_WORK), loaded);
        EXPECT_EQ(b.window.IsControlEnabled(platform::IDC_SAVE_LIMITS), loaded);
        EXPECT_EQ(b.fields.loadedShows, loaded ? 1 : 0);
        EXPECT_EQ(b.program.calibrationFactor, loaded ? 2.5f : 0.0f);
        EXPECT_EQ(b.values.lineLimits, loaded ? STORED : Limits{});
    }
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

    // Worked out in double precision, stored as a float; a file that cannot
    // be written is reported and the new factor stays in force for the run.
    bench.window.messages.clear();
    bench.values.referenceWeight = 600;
    bench.link.weights = {0, 255};
    bench.files.FailNextWrites(1);
    scale::Calibrate(bench.context);
    EXPECT_EQ(bench.window.messages, (Boxes{CLEAR_SCALE, PUT_WEIGHT, ConfigurationNotSaved(CALIBRATION)}));
    EXPECT_EQ(bench.program.calibrationFactor, static_cast<float>(600.0 / 255.0));
}

TEST_F(CalibrationTest, EveryOtherEndKeepsTheFactorAndTheFile) {
    const std::tuple<const char*, bool, int, std::deque<std::uint8_t>, Boxes, std::uint8_t> cases[] = {
        // the fields refused, the question answered Cancel (1, 2; 0: none), readings, boxes, zero afterwards
        {"refused field", true, 0, {12, 107}, {}, 7},
        {"cancel first", false, 1, {33}, {CLEAR_SCALE, CALIBRATION_CANCELLED}, 7},
        {"cancel second", false, 2, {33}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_CANCELLED}, 33},
        {"no zero reading", false, 0, {}, {CLEAR_SCALE, CALIBRATION_UNREAD}, 7},
        {"no reference reading", false, 0, {12}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_UNREAD}, 12},
        {"equal readings", false, 0, {40, 40}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40},
        {"lower reading", false, 0, {40, 35}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40},
    };
    const auto before = bench.CalibrationFile();
    for (const auto& [name, refuse, cancelAt, weights, boxes, zero] : cases) {
        SCOPED_TRACE(name);
        bench.window.messages.clear();
        bench.window.StartTimer(platform::TIMER_WORK, 100);
        bench.program.zeroCount = 7;
        bench.fields.accept = !refuse;
        for (int question = 1; question <= cancelAt; ++question)
            bench.window.AnswerNext(question == cancelAt ? MessageResult::Cancel : MessageResult::Ok);
        bench.link.weights = weights;
        scale::Calibrate(bench.context);
        EXPECT_EQ(bench.window.messages, boxes);
        EXPECT_TRUE(bench.window.timers.empty());
        EXPECT_EQ(bench.program.zeroCount, zero);
        EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
        EXPECT_EQ(bench.CalibrationFile(), before);
        EXPECT_EQ(bench.ModeButtons(), READY);
    }
}

TEST_F(CalibrationTest, TestModeNeedsAZeroReadingThenShowsNetGramsAndRawCounts) {
    bench.program.zeroCount = 7;
    const auto before = bench.window.enabled;
    scale::StartTest(bench.context);  // no reading
    EXPECT_EQ(bench.window.messages, (Boxes{TEST_CLEAR_SCALE, TEST_UNREAD}));
    EXPECT_EQ(bench.program.zeroCount, 7);
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.window.enabled, before);

    bench.window.messages.clear();
    bench.link.weights = {12};
    scale::StartTest(bench.context);
    EXPECT_EQ(bench.window.messages, Boxes{TEST_CLEAR_SCALE});
    EXPECT_EQ(bench.window.timers, (std::map<int, unsigned>{{platform::TIMER_TEST, 100u}}));
    EXPECT_EQ(bench.ModeButtons(), (std::vector<bool>{false, false, false, false, true, false}));
    const std::tuple<std::optional<std::uint8_t>, float, const char*, const char*> ticks[] = {
        // the reading, the factor, grams and counts shown
        {107, 2.5f, "238", "107"},     // 95 x 2.5 = 237.5
        {10, 2.5f, "-5", "10"},        // below the zero: negative, not wrapped round
        {11, 0.1f, "0", "11"},         // -0.1 g: never "-0"
        {std::nullopt, 2.5f, "", ""},  // no reading: nothing shown
    };
    for (const auto& [reading, factor, grams, counts] : ticks) {
        if (reading) bench.link.weights = {*reading};
        bench.program.calibrationFactor = factor;
        const int shows = bench.fields.shows;
        scale::ShowTestReading(bench.context);
        EXPECT_EQ(bench.values.gramsText, grams);
        EXPECT_EQ(bench.values.countsText, counts);
        EXPECT_EQ(bench.fields.shows, shows + 1);
    }
    EXPECT_EQ(bench.window.messages.size(), 1u) << "a tick shows no box";
    scale::StopTest(bench.context);
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.values.gramsText, "0");
    EXPECT_EQ(bench.values.countsText, "0");
    EXPECT_EQ(bench.ModeButtons(), READY);
}

}  // namespace
