// Work mode as operations on their own: a status packet per tick, the mode's
// buttons, the reset, the restart command and the statistics report.
#include "scale/WorkMode.h"

#include <gtest/gtest.h>

#include <tuple>

#include "storage/StatisticsReport.h"
#include "tests/support/OperationBench.h"
#include "tests/support/ProgramBoxes.h"

namespace {

using namespace testing_support::boxes;
using platform::MessageResult;
using testing_support::MessageRecord;
using Boxes = std::vector<MessageRecord>;

constexpr const char* REPORT_PATH = "C:\\velsor\\turno.est";

class WorkModeTest : public ::testing::Test {
protected:
    void SetUp() override { bench.program.calibrationFactor = 2.0f; }
    // The scale has the packet ready; a tick takes it.
    void Tick(std::uint8_t state, std::uint8_t weight, std::uint8_t lineByte) {
        bench.link.packets.push_back({state, weight, 0, lineByte, 0, 0, 0, 0});
        scale::ProcessStatus(bench.context);
    }
    const scale::LineStatistics& Statistics() const { return bench.values.statistics; }
    testing_support::OperationBench bench;
};

TEST_F(WorkModeTest, EachPacketShowsTheStateAndOnlyAWorkingOneWithALineCounts) {
    const std::tuple<std::uint8_t, std::uint8_t, const char*, std::uint32_t> ticks[] = {
        // state, line byte, the state shown, items on line 1 afterwards
        {0, 0x01, "Esperando sincronismo...", 0},
        {1, 0x01, "Tomando Taras", 0},
        {5, 0x01, "Tomando Taras", 0},  // an unknown state changes nothing
        {2, 0x01, "Trabajando", 1},
        {2, 0x03, "Trabajando", 1},  // no line
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

TEST_F(WorkModeTest, StartAndStopSwapTheButtonsAndTheStatisticsStay) {
    scale::StartWork(bench.context);
    EXPECT_EQ(bench.window.timers, (std::map<int, unsigned>{{platform::TIMER_WORK, 100u}}));
    EXPECT_EQ(bench.ModeButtons(), (std::vector<bool>{false, true, false, false, false, true}));
    Tick(2, 95, 0x01);
    scale::StopWork(bench.context);
    EXPECT_TRUE(bench.window.timers.empty());
    EXPECT_EQ(bench.ModeButtons(), (std::vector<bool>{true, false, true, true, false, false}));
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

TEST_F(WorkModeTest, RestartSendsItsCommandAndReportsAFailure) {
    scale::Restart(bench.context);
    EXPECT_TRUE(bench.window.messages.empty());
    bench.link.sendWorks = false;
    scale::Restart(bench.context);
    EXPECT_EQ(bench.window.messages, Boxes{RESTART_FAILED});
    EXPECT_EQ(bench.link.restarts, 2);
}

TEST_F(WorkModeTest, ReportBearsThePressTimeAndTheFiguresAsTheyStandAfterTheDialog) {
    scale::SaveStatistics(bench.context);  // the dialog cancelled: nothing written
    EXPECT_TRUE(bench.files.operations.empty());
    Tick(2, 95, 0x01);
    const platform::LocalDateTime pressed = bench.window.now;
    // A refused field has shown its prompt, open for a while: the report is
    // written all the same. Work mode counts on behind the save dialog.
    bench.fields.onRead = [&] {
        ++bench.window.now.minute;
        return false;
    };
    bench.window.whileFileDialogOpen = [&] {
        ++bench.window.now.minute;
        Tick(2, 60, 0x04);
    };
    bench.window.ChooseNext(REPORT_PATH);
    bench.files.SetFile(REPORT_PATH, {'x'});
    scale::SaveStatistics(bench.context);
    const scale::LineStatistics& s = Statistics();
    ASSERT_EQ(s.totalCount, 2u);
    const std::string expected = storage::FormatStatisticsReport(
        pressed, {s.lineCountText, s.lineKilogramsText, s.totalCountText, s.totalKilogramsText});
    EXPECT_EQ(bench.files.File(REPORT_PATH), std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(bench.window.fileDialogs.size(), 2u);
    EXPECT_TRUE(bench.window.messages.empty());
}

}  // namespace
