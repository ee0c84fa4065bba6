// Operating modes, the calibration file at start-up, calibration against
// the reference weight and test mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "scale/Calibration.h"
#include "tests/support/ScaleTestBench.h"

using namespace scale;
using platform::MessageIcon;
using platform::MessageResult;
using testing_support::ScaleTestBench;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

const int MODE_BUTTONS[] = {IDC_START_WORK, IDC_STOP_WORK, IDC_CALIBRATE, IDC_START_TEST, IDC_STOP_TEST,
                            IDC_RESTART};

class CalibrationTest : public ::testing::Test {
protected:
    ScaleTestBench bench;
    sim::ScriptedDevice* scale = nullptr;

    void Start(bool withFile) {
        scale = &bench.AttachScripted();
        if (withFile) bench.StoreCalibration(2.5f, {0, 100, 150, 200, 250, 300, 350, 400});
        bench.StartUp();
        bench.window.messages.clear();
    }
    // The six mode buttons, in the order of MODE_BUTTONS.
    std::vector<bool> ModeButtons() {
        std::vector<bool> states;
        for (int id : MODE_BUTTONS) states.push_back(bench.window.IsControlEnabled(id));
        return states;
    }
    // The scale's next answers to CMD_READ_WEIGHT.
    void Readings(std::initializer_list<int> counts) {
        for (int c : counts) scale->QueuePacket(Bytes({0, c, 0, 0, 0, 0, 0, 0}));
    }
    std::optional<std::vector<std::uint8_t>> CalibrationFile() {
        return bench.files.File(storage::CALIBRATION_FILE_PATH);
    }
};

// ---- starting mode

TEST_F(CalibrationTest, StartWithAReadableFileIsReady) {
    Start(true);
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{true, false, true, true, false, false}));
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_SAVE_LIMITS));
    EXPECT_FLOAT_EQ(bench.program.calibrationFactor, 2.5f);
    const char* shown[] = {"0", "100", "150", "200", "250", "300", "350", "400"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bench.window.texts[LIMIT_FIELD_IDS[static_cast<std::size_t>(i)]], shown[i]);
}

TEST_F(CalibrationTest, StartWithoutAFileWarnsAndStaysUnconfigured) {
    scale = &bench.AttachScripted();
    bench.StartUp();
    ASSERT_EQ(bench.window.messages.size(), 2u);
    EXPECT_EQ(bench.window.messages[0].text, "Dispositivo Encontrado y Configurado!");
    EXPECT_EQ(bench.window.messages[1].text,
              "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes "
              "de empezar");
    EXPECT_EQ(bench.window.messages[1].caption, "Configuración");
    EXPECT_EQ(bench.window.messages[1].icon, MessageIcon::Stop);
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{false, false, true, true, false, false}));
    EXPECT_FALSE(bench.window.IsControlEnabled(IDC_SAVE_LIMITS));
}

TEST_F(CalibrationTest, DamagedFilesAreRefusedWithTheirOwnWarning) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::vector<std::uint8_t>> damaged = {{}, std::vector<std::uint8_t>(10, 1),
                                                      std::vector<std::uint8_t>(19, 1)};
    for (float factor : {0.0f, -38.0f, inf, nan}) {
        const auto bytes = storage::EncodeCalibration({factor, {1, 2, 3, 4, 5, 6, 7, 8}});
        damaged.emplace_back(bytes.begin(), bytes.end());
    }
    for (const auto& file : damaged) {
        ScaleTestBench b;
        b.AttachScripted();
        b.files.SetFile(storage::CALIBRATION_FILE_PATH, file);
        b.StartUp();
        ASSERT_EQ(b.window.messages.size(), 2u) << file.size();
        EXPECT_EQ(b.window.messages[1].text,
                  "El archivo de configuracion no es valido, deberá calibrar la balanza y cargar los limites antes "
                  "de empezar");
        EXPECT_EQ(b.window.messages[1].caption, "Configuración");
        EXPECT_FALSE(b.window.IsControlEnabled(IDC_START_WORK));
        EXPECT_EQ(b.program.calibrationFactor, 0.0f);
        EXPECT_EQ(b.window.texts[LIMIT_FIELD_IDS[0]], "0");
    }
}

// ---- calibration

TEST_F(CalibrationTest, CalibrationOf190GramsWithReadings12And107GivesTwo) {
    Start(false);
    bench.window.Type(LIMIT_FIELD_IDS[1], "100");
    bench.window.Type(LIMIT_FIELD_IDS[2], "150");
    Readings({12, 107});
    bench.Press(IDC_CALIBRATE);
    const auto texts = bench.window.MessageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Despeje la balanza,se tomara el cero");
    EXPECT_EQ(texts[1], "Ponga el peso patron sobre la balanza");
    EXPECT_EQ(texts[2], "Calibracion OK!");
    for (const auto& m : bench.window.messages) EXPECT_EQ(m.caption, "Calibracion de Balanza");
    EXPECT_EQ(bench.window.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(bench.window.messages[0].buttons, platform::MessageButtons::OkCancel);
    EXPECT_EQ(bench.window.messages[2].icon, MessageIcon::Information);
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);
    EXPECT_EQ(bench.program.zeroCount, 12);
    EXPECT_EQ(CalibrationFile(),
              Bytes({0x00, 0x00, 0x00, 0x40, 0, 0, 100, 0, 150, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_WORK));
}

TEST_F(CalibrationTest, FactorIsComputedInDoubleThenStoredAsFloat) {
    Start(true);
    bench.window.Type(IDC_REFERENCE_WEIGHT, "600");
    Readings({0, 255});
    bench.Press(IDC_CALIBRATE);
    EXPECT_EQ(bench.program.calibrationFactor, static_cast<float>(600.0 / 255.0));
    const auto file = CalibrationFile();
    ASSERT_TRUE(file.has_value());
    ASSERT_EQ(file->size(), 20u);
    float stored;
    std::memcpy(&stored, file->data(), 4);
    EXPECT_EQ(stored, static_cast<float>(600.0 / 255.0));
}

TEST_F(CalibrationTest, CancelAtEitherPromptLeavesTheFileByteForByte) {
    Start(true);
    const auto before = CalibrationFile();
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(IDC_CALIBRATE);
    EXPECT_EQ(bench.window.MessageTexts().back(), "Calibración cancelada!");
    EXPECT_EQ(bench.window.messages.back().icon, MessageIcon::Stop);
    EXPECT_EQ(CalibrationFile(), before);
    EXPECT_EQ(scale->Writes().size(), 0u);  // no reading was taken

    Readings({33});
    bench.window.AnswerNext(MessageResult::Ok);
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(IDC_CALIBRATE);
    EXPECT_EQ(bench.window.MessageTexts().back(), "Calibración cancelada!");
    EXPECT_EQ(CalibrationFile(), before);
    EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
    EXPECT_EQ(bench.program.zeroCount, 33);  // the new zero stays
}

TEST_F(CalibrationTest, CancelledCalibrationStillEnablesStartWork) {
    Start(false);
    ASSERT_FALSE(bench.window.IsControlEnabled(IDC_START_WORK));
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(IDC_CALIBRATE);
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_WORK));
}

TEST_F(CalibrationTest, RefusedReferenceWeightStopsBeforeAnyPrompt) {
    Start(true);
    bench.window.StartTimer(TIMER_TEST, 100);
    for (const char* weight : {"149", "601", "100"}) {
        bench.window.messages.clear();
        bench.window.Type(IDC_REFERENCE_WEIGHT, weight);
        const auto buttons = ModeButtons();
        bench.Press(IDC_CALIBRATE);
        ASSERT_EQ(bench.window.messages.size(), 1u);
        EXPECT_EQ(bench.window.messages[0].text, "Ingrese un numero entre 150 y 600.");
        EXPECT_EQ(ModeButtons(), buttons);
    }
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_TEST));  // stopped before the exchange
    EXPECT_TRUE(scale->Writes().empty());
}

TEST_F(CalibrationTest, ReadingsThatCannotMakeAFactorAreNeverStored) {
    Start(true);
    const auto before = CalibrationFile();
    // Equal readings (infinite factor) and a lower one (negative factor).
    for (int second : {40, 35}) {
        Readings({40, second});
        bench.Press(IDC_CALIBRATE);
        EXPECT_EQ(bench.window.MessageTexts().back(), "Lectura invalida, repita la calibracion");
        EXPECT_EQ(bench.window.messages.back().icon, MessageIcon::Stop);
        EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
        EXPECT_EQ(CalibrationFile(), before);
        EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_WORK));
    }
}

TEST_F(CalibrationTest, AFailedReadingIsNeverUsed) {
    Start(true);
    const auto before = CalibrationFile();
    // No answer to the zero reading.
    bench.Press(IDC_CALIBRATE);
    auto texts = bench.window.MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "No se pudo leer la balanza");
    EXPECT_EQ(bench.window.messages[1].caption, "Calibracion de Balanza");
    // No answer to the reference reading.
    bench.window.messages.clear();
    Readings({12});
    bench.Press(IDC_CALIBRATE);
    texts = bench.window.MessageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2], "No se pudo leer la balanza");
    EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
    EXPECT_EQ(CalibrationFile(), before);
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_WORK));
}

TEST_F(CalibrationTest, CalibrationFileThatCannotBeWrittenIsReportedAndTheFactorStays) {
    Start(true);
    const auto before = CalibrationFile();
    bench.files.FailNextWrites(1);
    Readings({12, 107});
    bench.Press(IDC_CALIBRATE);
    const auto texts = bench.window.MessageTexts();
    EXPECT_EQ(texts.back(), "No se pudo guardar el archivo de configuracion");
    EXPECT_EQ(bench.window.messages.back().caption, "Calibracion de Balanza");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Calibracion OK!"), 0);
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);
    EXPECT_EQ(CalibrationFile(), before);
}

#ifndef _WIN32  // "c:\\" is mapped to a folder of QUELMAR_DRIVE_C on POSIX only
TEST_F(CalibrationTest, SaveIntoAMissingFolderOnRealFiles) {
    // The real file system never creates "velsor": the save fails cleanly.
    const auto root = std::filesystem::temp_directory_path() / "quelmar-calibration-test";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    setenv("QUELMAR_DRIVE_C", root.c_str(), 1);
    ScaleTestBench b;
    b.AttachScripted();
    ProgramValues program;
    ui::MainDialog dialog(b.window, b.link, storage::RealFileSystem(), program);
    program.calibrationFactor = 1.5f;
    EXPECT_FALSE(SaveCalibration(dialog.Context(), "Calibracion de Balanza"));
    EXPECT_EQ(b.window.MessageTexts().back(), "No se pudo guardar el archivo de configuracion");
    EXPECT_FALSE(std::filesystem::exists(root / "velsor"));
    std::filesystem::create_directories(root / "velsor");
    EXPECT_TRUE(SaveCalibration(dialog.Context(), "Calibracion de Balanza"));
    EXPECT_EQ(std::filesystem::file_size(root / "velsor" / "usb.ini"), 20u);
    std::filesystem::remove_all(root);
    unsetenv("QUELMAR_DRIVE_C");
}
#endif

// ---- test mode

TEST_F(CalibrationTest, TestModeShowsNetGramsAndRawCounts) {
    Start(true);  // factor 2.5
    Readings({12});
    bench.Press(IDC_START_TEST);
    EXPECT_EQ(bench.window.messages[0].text, "Despeje la balanza,se tomara el cero");
    EXPECT_EQ(bench.window.messages[0].caption, "Prueba de Balanza");
    EXPECT_EQ(bench.window.messages[0].buttons, platform::MessageButtons::Ok);
    EXPECT_TRUE(bench.window.TimerRunning(TIMER_TEST));
    EXPECT_EQ(bench.window.timers[TIMER_TEST], 100u);
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{false, false, false, false, true, false}));

    Readings({12});
    bench.Tick(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "0");
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "12");
    Readings({107});
    bench.Tick(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "238");  // 95 x 2.5 = 237.5, "%.0f"
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "107");
    // Below the zero the net is negative, not wrapped round to 254 counts.
    Readings({10});
    bench.Tick(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "-5");
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "10");
    // No answer: both boxes blank, no message.
    const std::size_t messages = bench.window.messages.size();
    bench.Tick(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "");
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "");
    EXPECT_EQ(bench.window.messages.size(), messages);

    bench.Press(IDC_STOP_TEST);
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_TEST));
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "0");
    EXPECT_EQ(bench.window.texts[IDC_COUNTS], "0");
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{true, false, true, true, false, false}));
}

TEST_F(CalibrationTest, NegativeZeroIsNeverShown) {
    Start(true);
    bench.program.calibrationFactor = 0.1f;
    Readings({12});
    bench.Press(IDC_START_TEST);
    Readings({11});  // -0.1 g
    bench.Tick(TIMER_TEST);
    EXPECT_EQ(bench.window.texts[IDC_GRAMS], "0");
}

TEST_F(CalibrationTest, TestModeNeedsAZeroReading) {
    Start(false);
    bench.program.zeroCount = 7;
    bench.Press(IDC_START_TEST);
    ASSERT_EQ(bench.window.messages.size(), 2u);
    EXPECT_EQ(bench.window.messages[1].text, "No se pudo leer la balanza");
    EXPECT_EQ(bench.window.messages[1].caption, "Prueba de Balanza");
    EXPECT_EQ(bench.program.zeroCount, 7);
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_TEST));
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{false, false, true, true, false, false}));
}

TEST_F(CalibrationTest, TestThenStopLeavesUnconfiguredForReady) {
    Start(false);
    Readings({12});
    bench.Press(IDC_START_TEST);
    bench.Press(IDC_STOP_TEST);
    EXPECT_TRUE(bench.window.IsControlEnabled(IDC_START_WORK));
}

TEST_F(CalibrationTest, CalibrateStopsBothTimersFirst) {
    Start(true);
    bench.window.StartTimer(TIMER_TEST, 100);
    bench.window.StartTimer(TIMER_WORK, 100);
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(IDC_CALIBRATE);
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_TEST));
    EXPECT_FALSE(bench.window.TimerRunning(TIMER_WORK));
}

}  // namespace
