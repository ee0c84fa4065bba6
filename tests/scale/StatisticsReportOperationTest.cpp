// "G&uardar Estadistica" through the whole program below the front-end: the
// figures come from real packets counted in work mode, the report lands in
// the in-memory file system. The report is checked here byte for byte.
#include <gtest/gtest.h>

#include <functional>

#include "scale/WorkMode.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using testing_support::ScaleTestBench;

constexpr const char* REPORT_PATH = "C:\\velsor\\turno.est";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The report of the sample shift, in Windows-1252 with CR LF line ends.
const std::vector<std::uint8_t> SAMPLE_REPORT = Bytes(
    "Archivo de Estad\xEDsticas\r\n"
    "S\xE1" "bado 05/12/2026  21:15:18\r\n"
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
    "Totales:   4 Unidades    0.50 Kilogramos");

class StatisticsReportOperationTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.StoreCalibration(1.0f, {});  // one gram per count
        bench.StartUp();
        bench.window.messages.clear();
        bench.Press(platform::IDC_START_WORK);
    }

    void Deliver(std::uint8_t lineByte, std::uint8_t weight) {
        device.QueuePacket({2, weight, 0, lineByte, 0, 0, 0, 0}, bench.clock.Now());
        bench.Tick(platform::TIMER_WORK);
    }

    // Three items of 0.38 kg in all on line 1 and one of 0.12 kg on line 4;
    // the last one can be left for later.
    void RunSampleShift(bool lastItem = true) {
        Deliver(0x01, 127);
        Deliver(0x01, 127);
        Deliver(0x08, 120);
        if (lastItem) Deliver(0x01, 126);
    }

    void Save(std::optional<std::string> path = REPORT_PATH) {
        bench.window.ChooseNext(std::move(path));
        bench.Press(platform::IDC_SAVE_STATISTICS);
    }

    std::optional<std::vector<std::uint8_t>> Report() const { return bench.files.File(REPORT_PATH); }

    ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
};

TEST_F(StatisticsReportOperationTest, SampleShiftReplacesAnEarlierReportByteForByte) {
    bench.files.SetFile(REPORT_PATH, std::vector<std::uint8_t>(4096, 'x'));
    RunSampleShift();
    Save();
    ASSERT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.window.fileDialogs[0].settings.defaultExtension, ".est");
    EXPECT_EQ(Report(), SAMPLE_REPORT);
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_TRUE(bench.window.TimerRunning(platform::TIMER_WORK)) << "saving leaves work mode running";
}

TEST_F(StatisticsReportOperationTest, ReportAfterAResetOnTheFirstOfMarch) {
    RunSampleShift();
    bench.Press(platform::IDC_RESET);  // confirmed
    bench.window.now = {2026, 3, 1, 9, 5, 7, 0};
    Save();
    std::string expected = "Archivo de Estad\xEDsticas\r\nDomingo 01/03/2026  09:05:07\r\n\r\n";
    for (int row = 0; row < 8; ++row) expected += "Linea " + std::to_string(row) + ":   0 Unidades    0 Kilogramos\r\n";
    EXPECT_EQ(Report(), Bytes(expected + "\r\nTotales:   0 Unidades    0 Kilogramos"));
}

TEST_F(StatisticsReportOperationTest, RefusedFieldIsPromptedFirstAndTheReportKeepsThePressTime) {
    RunSampleShift();
    bench.window.Type(platform::IDC_LIMIT_1, "900");
    std::size_t dialogsWhilePrompt = 99;
    bench.window.whileMessageOpen = [&](const testing_support::MessageRecord&) {
        dialogsWhilePrompt = bench.window.fileDialogs.size();
        bench.window.now = {2026, 12, 5, 21, 16, 48, 6};  // the prompt stays open a minute and a half
    };
    Save();
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Ingrese un numero entre 0 y 800.");
    EXPECT_EQ(dialogsWhilePrompt, 0u);
    EXPECT_EQ(Report(), SAMPLE_REPORT);
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
    RunSampleShift(false);
    SlowDialogWindow window;
    window.ChooseNext(REPORT_PATH);
    window.whileDialogOpen = [&] {
        window.now = {2026, 12, 5, 21, 19, 2, 6};
        Deliver(0x01, 126);  // work mode counts on behind the dialog
    };
    scale::ScaleContext context{window, bench.dialog, bench.dialog.Values(), bench.program, bench.link, bench.files};
    scale::SaveStatistics(context);
    EXPECT_EQ(Report(), SAMPLE_REPORT);
}

TEST_F(StatisticsReportOperationTest, CancelledDialogWritesAndSaysNothing) {
    RunSampleShift();
    const int writesBefore = bench.files.WriteCount();
    Save(std::nullopt);
    EXPECT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
    EXPECT_FALSE(Report().has_value());
    EXPECT_TRUE(bench.window.messages.empty());
}

TEST_F(StatisticsReportOperationTest, ReportThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    bench.files.SetFile(REPORT_PATH, Bytes("the previous report"));
    RunSampleShift();
    bench.files.FailNextWrites(1);
    Save();
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "No se pudo guardar el archivo de estadisticas");
    EXPECT_EQ(bench.window.messages[0].caption, "Guardar Estadistica");
    EXPECT_EQ(bench.window.messages[0].icon, platform::MessageIcon::Stop);
    EXPECT_EQ(Report(), Bytes("the previous report"));
    Save();  // the statistics stayed: the next attempt writes them
    EXPECT_EQ(Report(), SAMPLE_REPORT);
}

}  // namespace
