// The scale operations alone: what they ask, read, store, send and enable.
#include <gtest/gtest.h>

#include <tuple>

#include "scale/Calibration.h"
#include "scale/LimitRules.h"
#include "scale/LineLimits.h"
#include "scale/WorkMode.h"
#include "storage/LimitsFile.h"
#include "tests/support/OperationBench.h"
#include "tests/support/ProgramBoxes.h"

namespace {

using namespace testing_support::boxes;
using platform::MessageResult;
using testing_support::FakeScaleLink;
using testing_support::MessageRecord;
constexpr auto CalibrationBytes = testing_support::OperationBench::CalibrationBytes;
using Bytes = std::vector<std::uint8_t>;
using Limits = std::array<std::int16_t, 8>;

const Limits EXAMPLE = {0, 100, 150, 200, 250, 300, 350, 400};
const Limits OTHER = {10, 20, 30, 40, 50, 60, 70, 80};
constexpr std::string_view PATH = "C:\\velsor\\turno.lim";

using scale::Mode;
using Modes = std::vector<Mode>;

Bytes LimitsFile(const Limits& limits) {
    const auto bytes = storage::EncodeLimits(limits);
    return {bytes.begin(), bytes.end()};
}

// Calibrated at 2.0 with a calibration file, ready to start work.
class OperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(2.0f, OTHER);
        bench.program.calibrationFactor = 2.0f;
        bench.modes.mode = Mode::Ready;
    }
    // The scale has the packet ready; a tick takes it.
    void Tick(std::uint8_t state, std::uint8_t weight, std::uint8_t lineByte) {
        bench.link.packets.push_back({state, weight, 0, lineByte, 0, 0, 0, 0});
        scale::ProcessStatus(bench.context);
    }
    const scale::LineStatistics& Statistics() const { return bench.values.statistics; }
    testing_support::OperationBench bench;
};
using CalibrationTest = OperationsTest;
using LineLimitsTest = OperationsTest;
using WorkModeTest = OperationsTest;

// A calibration file read at start-up sends its limits at once: the scale sorts by what the window shows.
TEST_F(CalibrationTest, StartingModeFollowsTheCalibrationFileWhoseLimitsAreSent) {
    const std::tuple<std::optional<std::vector<std::uint8_t>>, bool, Boxes> cases[] = {
        // the file (none), the send works, the boxes
        {std::nullopt, true, {CONFIGURATION_MISSING}},
        {std::vector<std::uint8_t>(19, 1), true, {CONFIGURATION_INVALID}},
        {CalibrationBytes(2.5f, EXAMPLE), true, {}},
        {CalibrationBytes(2.5f, EXAMPLE), false, {LIMITS_NOT_SENT}},
    };
    for (const auto& [file, sendWorks, boxes] : cases) {
        testing_support::OperationBench b;
        if (file) b.files.SetFile(storage::CALIBRATION_FILE_PATH, *file);
        b.link.sendWorks = sendWorks;
        scale::ChooseStartingMode(b.context);
        const bool loaded = file && file->size() == 20;
        EXPECT_EQ(b.window.messages, boxes);
        EXPECT_EQ(b.modes.entered, loaded ? Modes{Mode::Ready} : Modes{});
        EXPECT_EQ(b.modes.saveLimitsEnabled, loaded);
        EXPECT_EQ(b.fields.loadedShows, loaded ? 1 : 0);
        EXPECT_EQ(b.program.calibrationFactor, loaded ? 2.5f : 0.0f);
        EXPECT_EQ(b.values.lineLimits, loaded ? EXAMPLE : Limits{});
        const std::vector<FakeScaleLink::Sent> sent = {{scale::LimitsToCounts(EXAMPLE, 2.5f), 300}};
        EXPECT_EQ(b.link.sent, loaded ? sent : std::vector<FakeScaleLink::Sent>{});
    }
}

// Only a success changes the factor and the file; a file not written keeps the new factor.
TEST_F(CalibrationTest, ReferenceWeightOverTheReadingsDifferenceIsTheNewFactorAndIsSaved) {
    const float kept = 2.5f, calibrated = static_cast<float>(600.0 / 255.0);
    const MessageRecord notSaved = ConfigurationNotSaved(CALIBRATION);
    const std::tuple<const char*, bool, int, std::deque<std::uint8_t>, Boxes, std::uint8_t, float> cases[] = {
        // the fields refused, the question answered Cancel (1, 2; 0: none), readings, boxes, zero and factor after
        {"calibrated", false, 0, {0, 255}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATED}, 0, calibrated},
        {"not saved", false, 0, {12, 107}, {CLEAR_SCALE, PUT_WEIGHT, notSaved}, 12, 600 / 95.0f},
        {"refused field", true, 0, {12, 107}, {}, 7, kept},
        {"cancel first", false, 1, {33}, {CLEAR_SCALE, CALIBRATION_CANCELLED}, 7, kept},
        {"cancel second", false, 2, {33}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_CANCELLED}, 33, kept},
        {"no zero reading", false, 0, {}, {CLEAR_SCALE, CALIBRATION_UNREAD}, 7, kept},
        {"no reference reading", false, 0, {12}, {CLEAR_SCALE, PUT_WEIGHT, CALIBRATION_UNREAD}, 12, kept},
        {"equal readings", false, 0, {40, 40}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40, kept},
        {"lower reading", false, 0, {40, 35}, {CLEAR_SCALE, PUT_WEIGHT, INVALID_READING}, 40, kept},
    };
    bench.values.referenceWeight = 600;
    bench.values.lineLimits = EXAMPLE;
    Modes modeWhileAsked;
    bench.window.whileMessageOpen = [&](const MessageRecord&) { modeWhileAsked.push_back(bench.modes.mode); };
    for (const auto& [name, refuse, cancelAt, weights, boxes, zero, factor] : cases) {
        SCOPED_TRACE(name);
        bench.window.messages.clear();
        modeWhileAsked.clear();
        bench.modes.entered.clear();
        bench.program.zeroCount = 7;
        bench.program.calibrationFactor = kept;
        bench.StoreCalibration(kept, EXAMPLE);
        bench.fields.accept = !refuse;
        for (int question = 1; question <= cancelAt; ++question)
            bench.window.AnswerNext(question == cancelAt ? MessageResult::Cancel : MessageResult::Ok);
        if (std::string(name) == "not saved") bench.files.FailOperation(bench.files.operations.size() + 1);
        bench.link.weights = weights;
        scale::Calibrate(bench.context);
        EXPECT_EQ(bench.window.messages, boxes);
        EXPECT_EQ(modeWhileAsked, Modes(boxes.size(), Mode::Calibrating));
        EXPECT_EQ(bench.modes.entered, refuse ? Modes{} : (Modes{Mode::Calibrating, Mode::Ready}));
        EXPECT_EQ(bench.program.zeroCount, zero);
        EXPECT_EQ(bench.program.calibrationFactor, factor);
        EXPECT_EQ(bench.CalibrationFile(),
                  CalibrationBytes(std::string(name) == "calibrated" ? factor : kept, EXAMPLE));
    }
}

TEST_F(CalibrationTest, TestModeNeedsAZeroReadingThenShowsNetGramsAndRawCounts) {
    bench.program.zeroCount = 7;
    scale::StartTest(bench.context);  // no reading
    EXPECT_EQ(bench.window.messages, (Boxes{TEST_CLEAR_SCALE, TEST_UNREAD}));
    EXPECT_EQ(bench.program.zeroCount, 7);
    EXPECT_TRUE(bench.modes.entered.empty());

    bench.window.messages.clear();
    bench.link.weights = {12};
    scale::StartTest(bench.context);
    EXPECT_EQ(bench.window.messages, Boxes{TEST_CLEAR_SCALE});
    EXPECT_EQ(bench.modes.mode, Mode::TestMode);
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
    EXPECT_EQ(bench.values.gramsText, "0");
    EXPECT_EQ(bench.values.countsText, "0");
    EXPECT_EQ(bench.modes.mode, Mode::Ready);
}

TEST_F(LineLimitsTest, SaveOpensOnceEveryFieldWasEditedAndOnlyThenEditsAreTakenIn) {
    for (int keystroke = 0; keystroke < 8; ++keystroke) scale::LimitEdited(bench.context, 5);
    for (int line : {1, 2, 3, 4, 6, 7, 0, 9}) scale::LimitEdited(bench.context, line);
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.modes.saveLimitsEnabled);
    EXPECT_EQ(bench.fields.reads, 0);
    // The last field's first edit opens the gate before the read: "&Guardar" is on under a prompt.
    std::vector<bool> saveOnWhileRead;
    bench.fields.onRead = [&] {
        saveOnWhileRead.push_back(bench.modes.saveLimitsEnabled);
        return false;
    };
    scale::LimitEdited(bench.context, 8);
    scale::LimitEdited(bench.context, 3);
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
    EXPECT_EQ(saveOnWhileRead, (std::vector<bool>{true, true}));
}

// Limits can be prepared uncalibrated or offline: both files are written, only the send needs the factor. A file
// that cannot be written keeps nothing from the scale, and one box tells what was done and what was not.
TEST_F(LineLimitsTest, SaveStopsAtTheOperatorsStepsElseWritesBothFilesSendsAtTheFactorAndTellsItOnce) {
    enum Failing { NONE, FIELDS, DIALOG, LIMITS_FILE, CALIBRATION_FILE };
    const Limits falling = {0, 100, 150, 200, 250, 300, 400, 350};
    const auto at = [](float factor) { return FakeScaleLink::Sent{scale::LimitsToCounts(EXAMPLE, factor), 200}; };
    const std::string sent = LIMITS_SENT_ONLY, limitsFailed = LimitsFileFailed(std::string(PATH));
    const std::tuple<Failing, Limits, float, bool, Boxes, std::vector<FakeScaleLink::Sent>> cases[] = {
        // the failing step, limits, factor, the send works, the boxes, what was sent
        {FIELDS, EXAMPLE, 2.0f, true, {}, {}},
        {NONE, falling, 2.0f, true, {LIMITS_OUT_OF_ORDER}, {}},
        {DIALOG, EXAMPLE, 2.0f, true, {FILE_CANCELLED}, {}},
        {LIMITS_FILE, EXAMPLE, 2.0f, true, {SavedInPart(sent, {limitsFailed})}, {at(2.0f)}},
        {CALIBRATION_FILE, EXAMPLE, 2.0f, true, {SavedInPart(sent, {CalibrationFileFailed()})}, {at(2.0f)}},
        {LIMITS_FILE, EXAMPLE, 2.5f, false, {SavedInPart("No pudo enviarse", {limitsFailed})}, {at(2.5f)}},
        {NONE, EXAMPLE, 2.0f, true, {LIMITS_SENT}, {at(2.0f)}},
        {NONE, EXAMPLE, 2.5f, false, {LIMITS_NOT_SENT}, {at(2.5f)}},
        {NONE, EXAMPLE, 0.0f, true, {UNCALIBRATED}, {}},
    };
    for (const auto& [failing, limits, factor, sendWorks, boxes, sent] : cases) {
        SCOPED_TRACE(::testing::PrintToString(boxes));
        bench.window.messages.clear();
        bench.window.fileAnswers.clear();
        bench.link.sent.clear();
        bench.files.SetFile(PATH, Bytes(40, 0x55));
        bench.StoreCalibration(2.0f, OTHER);
        bench.program.calibrationFactor = factor;
        bench.link.sendWorks = sendWorks;
        bench.fields.accept = failing != FIELDS;
        if (failing >= LIMITS_FILE) bench.files.FailOperation(bench.files.operations.size() + failing - DIALOG);
        bench.values.lineLimits = limits;
        bench.window.ChooseNext(failing == DIALOG ? std::nullopt : std::optional(std::string(PATH)));
        scale::SaveLimits(bench.context);
        const bool chosen = failing != FIELDS && failing != DIALOG && limits == EXAMPLE;  // the files' turn came
        EXPECT_EQ(bench.window.messages, boxes);
        EXPECT_EQ(bench.link.sent, sent);
        EXPECT_EQ(bench.files.File(PATH), chosen && failing != LIMITS_FILE ? LimitsFile(EXAMPLE) : Bytes(40, 0x55));
        EXPECT_EQ(bench.CalibrationFile(), chosen && failing != CALIBRATION_FILE ? CalibrationBytes(factor, EXAMPLE)
                                                                                 : CalibrationBytes(2.0f, OTHER));
    }
    EXPECT_EQ(bench.window.fileDialogs.size(), 7u) << "only once the fields and their order passed";
    EXPECT_EQ(bench.window.fileDialogs.back().kind, platform::FileDialogKind::Save);
}

TEST_F(LineLimitsTest, LoadShowsTheFileAsItIsAndSendsItOnlyWhenCalibratedWithoutAnyWrite) {
    const Limits falling = {800, 700, 600, 500, 300, -1, 100, 2000};  // no order or range check
    bench.files.SetFile(PATH, LimitsFile(falling));
    bench.files.SetFile("C:\\velsor\\corto.lim", Bytes(15, 1));
    bench.program.limitEditMask = 0x7F;
    const std::tuple<std::optional<std::string>, float, MessageRecord, Limits, std::vector<FakeScaleLink::Sent>>
        cases[] = {
            // the file chosen (none: cancelled), factor, the box, the limits afterwards, what was sent
            {std::nullopt, 2.0f, FILE_CANCELLED, OTHER, {}},
            {"C:\\velsor\\falta.lim", 2.0f, LimitsNotRead("C:\\velsor\\falta.lim", "el archivo no existe"), OTHER, {}},
            {"C:\\velsor\\corto.lim",
             2.0f,
             LimitsNotRead("C:\\velsor\\corto.lim", "el archivo está dañado o no es de este tipo"),
             OTHER,
             {}},
            {std::string(PATH), 0.0f, UNCALIBRATED, falling, {}},
            {std::string(PATH), 2.0f, LIMITS_SENT, falling, {{scale::LimitsToCounts(falling, 2.0f), 300}}},
        };
    for (const auto& [path, factor, box, limits, sent] : cases) {
        bench.window.messages.clear();
        bench.values.lineLimits = OTHER;
        bench.fields.loadedShows = 0;
        bench.program.calibrationFactor = factor;
        bench.window.ChooseNext(path);
        scale::LoadLimits(bench.context);
        EXPECT_EQ(bench.window.messages, Boxes{box});
        EXPECT_EQ(bench.values.lineLimits, limits);
        EXPECT_EQ(bench.fields.loadedShows, limits == falling ? 1 : 0);
        EXPECT_EQ(bench.link.sent, sent);
    }
    EXPECT_EQ(bench.window.fileDialogs.back().kind, platform::FileDialogKind::Open);
    EXPECT_EQ(bench.fields.reads, 0);
    EXPECT_EQ(bench.files.operations.size(), 4u);
    for (const auto& operation : bench.files.operations) EXPECT_FALSE(operation.write);
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.modes.saveLimitsEnabled);
}

TEST_F(WorkModeTest, EachPacketShowsTheStateAndOnlyAWorkingOneWithALineCounts) {
    const std::tuple<std::uint8_t, std::uint8_t, const char*, std::uint32_t> ticks[] = {
        // state, line byte, the state shown, items on line 1 afterwards
        {0, 0x01, "Esperando sincronismo...", 0},
        {1, 0x01, "Tomando Taras", 0},
        {5, 0x01, "Tomando Taras", 0},  // an unknown state changes nothing
        {2, 0x01, "Trabajando", 1},
        {7, 0x01, "Trabajando", 1},
    };
    for (const auto& [state, lineByte, stateText, counted] : ticks) {
        Tick(state, 95, lineByte);
        EXPECT_EQ(bench.values.stateText, stateText) << +state;
        EXPECT_EQ(Statistics().lineCount[0], counted) << +state;
    }
    Tick(2, 50, 0x80);
    EXPECT_EQ(Statistics().lineCount[7], 1u);
    // No packet within the wait: nothing changes, and a quiet scale is no error.
    scale::ProcessStatus(bench.context);
    EXPECT_EQ(bench.values.stateText, "Trabajando");
    EXPECT_EQ(Statistics().totalCount, 2u);
    EXPECT_TRUE(bench.window.messages.empty());
}

TEST_F(WorkModeTest, StartAndStopSwapTheButtonsRestartSendsItsCommandAndTheStatisticsStay) {
    scale::StartWork(bench.context);
    EXPECT_EQ(bench.modes.mode, Mode::WorkMode);
    Tick(2, 95, 0x01);
    scale::Restart(bench.context);  // sends its command; only a failure shows a box
    bench.link.sendWorks = false;
    scale::Restart(bench.context);
    EXPECT_EQ(bench.window.messages, Boxes{RESTART_FAILED});
    EXPECT_EQ(bench.link.restarts, 2);
    scale::StopWork(bench.context);
    EXPECT_EQ(bench.modes.mode, Mode::Ready);
    EXPECT_EQ(bench.values.stateText, "") << "the state box empties at once";
    EXPECT_EQ(bench.fields.shows, 1);
    scale::StartWork(bench.context);
    Tick(2, 95, 0x01);
    EXPECT_EQ(Statistics().lineCount[0], 2u);
}

TEST_F(WorkModeTest, ResetAsksFirstAndErasesAlsoWhatCameBehindItsBox) {
    Tick(2, 95, 0x01);
    bench.window.AnswerNext(MessageResult::Cancel);
    scale::ConfirmReset(bench.context);
    EXPECT_EQ(Statistics().totalCount, 1u);
    EXPECT_EQ(bench.fields.shows, 0);

    bench.window.whileMessageOpen = [&](const MessageRecord&) { Tick(2, 95, 0x08); };
    scale::ConfirmReset(bench.context);
    EXPECT_EQ(bench.window.messages, (Boxes{RESET_QUESTION, RESET_QUESTION}));
    EXPECT_EQ(Statistics().totalCount, 0u);
    EXPECT_EQ(bench.fields.shows, 1);
    EXPECT_EQ(bench.link.restarts, 0) << "a reset sends nothing to the scale";
}

}  // namespace
