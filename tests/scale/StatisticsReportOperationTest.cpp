// "G&uardar Estadistica" through the whole program below the front-end: the
// figures come from real packets counted in work mode, the report lands in
// the in-memory file system, and the dialogs are answered by the fake.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scale/WorkMode.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using platform::MessageButtons;
using platform::MessageIcon;
using testing_support::ScaleTestBench;

constexpr const char* REPORT_PATH = "C:\\velsor\\turno.est";

std::vector<std::uint8_t> Item(std::uint8_t lineByte, std::uint8_t weight) {
    return {2, weight, 0, lineByte, 0, 0, 0, 0};
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The report of the sample shift, in Windows-1252 with CR LF line ends.
const std::string SAMPLE_REPORT =
    "Archivo de Estad\xEDsticas\r\n"
    "S\xE1"
    "bado 05/12/2026  21:15:18\r\n"
    "\r\n"
    "Linea 0:   3 Unidades    0.38 Kilogramos\r\n"
    "Linea 1:   0 Unidades    0 Kilogramos\r\n"
    "Linea 2:   0 Unidades    0 Kilogramos\r\n"
    "Linea 3:   1 Unidades    0.12 Kilogramos\r\n"
    "Linea 4:   0 Unidades    0 Kilogramos\r\n"
    "Linea 5:   0 Unidades    0 Kilogramos\r\n"
    "Linea 6:   0 Unidades    0 Kilogramos\r\n"
    "Linea 7:   0 Unidades    0 Kilogramos\r\n"
    "\r\n"
    "Totales:   4 Unidades    0.50 Kilogramos";

std::vector<std::string> Lines(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            lines.emplace_back();
            ++i;
        } else {
            lines.back().push_back(static_cast<char>(bytes[i]));
        }
    }
    return lines;
}

class StatisticsReportOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One gram per count: the item weights below are their grams.
        bench.StoreCalibration(1.0f, {});
        bench.StartUp();
        ASSERT_EQ(bench.program.calibrationFactor, 1.0f);
        bench.window.messages.clear();
        bench.Press(scale::IDC_START_WORK);
    }

    void Deliver(std::vector<std::uint8_t> packet) {
        device.QueuePacket(std::move(packet), bench.clock.Now());
        bench.Tick(scale::TIMER_WORK);
    }

    // Three items of 0.38 kg in all on line 1 and one of 0.12 kg on line 4.
    void RunSampleShift() {
        Deliver(Item(0x01, 127));
        Deliver(Item(0x01, 127));
        Deliver(Item(0x08, 120));
        Deliver(Item(0x01, 126));
        ASSERT_EQ(bench.window.GetControlText(scale::IDC_LINE_KILOGRAMS_1), "0.38");
        ASSERT_EQ(bench.window.GetControlText(scale::IDC_TOTAL_KILOGRAMS), "0.50");
    }

    std::optional<std::vector<std::uint8_t>> Report() const { return bench.files.File(REPORT_PATH); }

    ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
};

// ---- the report's bytes --------------------------------------------------------

TEST_F(StatisticsReportOperationTest, SampleShiftGivesTheReportByteForByte) {
    RunSampleShift();
    bench.window.now = {2026, 12, 5, 21, 15, 18, 6};
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);

    ASSERT_EQ(bench.window.fileDialogs.size(), 1u);
    const platform::FileDialogSettings& dialog = bench.window.fileDialogs[0].settings;
    EXPECT_EQ(dialog.kind, platform::FileDialogKind::Save);
    EXPECT_EQ(dialog.initialFolder, "C:\\velsor\\");
    EXPECT_EQ(dialog.defaultExtension, ".est");
    ASSERT_TRUE(Report().has_value());
    EXPECT_EQ(*Report(), Bytes(SAMPLE_REPORT));
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_TRUE(bench.window.TimerRunning(scale::TIMER_WORK)) << "saving leaves work mode running";
}

TEST_F(StatisticsReportOperationTest, ReportAfterAResetReadsZeroEverywhere) {
    RunSampleShift();
    bench.Press(scale::IDC_RESET);  // confirmed
    bench.window.now = {2026, 3, 1, 9, 5, 7, 0};
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);

    ASSERT_TRUE(Report().has_value());
    const std::vector<std::string> lines = Lines(*Report());
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "Archivo de Estad\xEDsticas");
    EXPECT_EQ(lines[1], "Domingo 01/03/2026  09:05:07");
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(lines[static_cast<std::size_t>(3 + row)],
                  "Linea " + std::to_string(row) + ":   0 Unidades    0 Kilogramos");
    EXPECT_EQ(lines[12], "Totales:   0 Unidades    0 Kilogramos") << "and no line break after it";
}

TEST_F(StatisticsReportOperationTest, SavingOverAnExistingReportReplacesItWhole) {
    bench.files.SetFile(REPORT_PATH, std::vector<std::uint8_t>(4096, 'x'));
    RunSampleShift();
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);
    ASSERT_TRUE(Report().has_value());
    EXPECT_EQ(*Report(), Bytes(SAMPLE_REPORT));
}

// ---- when the date is taken, and which figures are written ---------------------

TEST_F(StatisticsReportOperationTest, RefusedFieldIsPromptedAndTheReportFollowsWithThePressTime) {
    RunSampleShift();
    bench.window.Type(scale::IDC_LIMIT_1, "900");
    // The prompt is open for a minute and a half: the report keeps the time
    // the button was pressed.
    std::size_t dialogsWhilePrompt = 99;
    bench.window.whileMessageOpen = [&](const testing_support::MessageRecord&) {
        dialogsWhilePrompt = bench.window.fileDialogs.size();
        bench.window.now = {2026, 12, 5, 21, 16, 48, 6};
    };
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);

    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Ingrese un numero entre 0 y 800.");
    EXPECT_EQ(dialogsWhilePrompt, 0u) << "the prompt comes before the save dialog";
    ASSERT_TRUE(Report().has_value());
    EXPECT_EQ(*Report(), Bytes(SAMPLE_REPORT));
}

// A window whose save dialog stays open while something happens behind it.
class SlowDialogWindow : public testing_support::FakeWindowServices {
public:
    std::optional<std::string> ChooseFile(const platform::FileDialogSettings& settings) override {
        if (whileDialogOpen) whileDialogOpen();
        return FakeWindowServices::ChooseFile(settings);
    }
    std::function<void()> whileDialogOpen;
};

TEST_F(StatisticsReportOperationTest, ReportBearsThePressTimeAndTheFiguresAfterTheDialog) {
    Deliver(Item(0x01, 127));
    Deliver(Item(0x01, 127));
    Deliver(Item(0x08, 120));

    SlowDialogWindow window;
    window.now = {2026, 12, 5, 21, 15, 18, 6};
    window.ChooseNext(REPORT_PATH);
    window.whileDialogOpen = [&] {
        window.now = {2026, 12, 5, 21, 19, 2, 6};
        Deliver(Item(0x01, 126));  // work mode counts on behind the dialog
    };
    scale::ScaleContext context{window, bench.dialog, bench.dialog.Values(), bench.program, bench.link, bench.files};
    scale::SaveStatistics(context);

    ASSERT_TRUE(Report().has_value());
    EXPECT_EQ(*Report(), Bytes(SAMPLE_REPORT));
}

// ---- cancel and failure ----------------------------------------------------------

TEST_F(StatisticsReportOperationTest, CancellingTheDialogWritesNothingAndSaysNothing) {
    RunSampleShift();
    const int writesBefore = bench.files.WriteCount();
    bench.window.ChooseNext(std::nullopt);
    bench.Press(scale::IDC_SAVE_STATISTICS);
    EXPECT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
    EXPECT_FALSE(Report().has_value());
    EXPECT_TRUE(bench.window.messages.empty());
}

TEST_F(StatisticsReportOperationTest, ReportThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    const std::vector<std::uint8_t> previous = Bytes("the previous report");
    bench.files.SetFile(REPORT_PATH, previous);
    RunSampleShift();
    bench.files.FailNextWrites(1);
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);

    ASSERT_EQ(bench.window.messages.size(), 1u);
    const testing_support::MessageRecord& box = bench.window.messages[0];
    EXPECT_EQ(box.text, "No se pudo guardar el archivo de estadisticas");
    EXPECT_EQ(box.caption, "Guardar Estadistica");
    EXPECT_EQ(box.icon, MessageIcon::Stop);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(Report(), previous);
    EXPECT_EQ(bench.window.GetControlText(scale::IDC_TOTAL_COUNT), "4") << "the statistics stay";

    // The next attempt goes through.
    bench.window.ChooseNext(REPORT_PATH);
    bench.Press(scale::IDC_SAVE_STATISTICS);
    EXPECT_EQ(Report(), Bytes(SAMPLE_REPORT));
    EXPECT_EQ(bench.window.messages.size(), 1u);
}

}  // namespace
