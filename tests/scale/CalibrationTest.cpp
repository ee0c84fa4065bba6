// Operating modes, the calibration file at start-up, calibration against
// the reference weight and test mode.
#include <gtest/gtest.h>

#include <bit>

#include "scale/Calibration.h"
#include "tests/support/ScaleTestBench.h"

using namespace scale;
using platform::MessageButtons;
using platform::MessageIcon;
using platform::MessageResult;
using testing_support::MessageRecord;
using testing_support::ScaleTestBench;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view CLEAR_SCALE = "Despeje la balanza,se tomara el cero";
constexpr std::string_view PUT_WEIGHT = "Ponga el peso patron sobre la balanza";
const std::string CALIBRATION = "Calibracion de Balanza";

class CalibrationTest : public ::testing::Test {
protected:
    void Start(bool withFile) {
        if (withFile) bench.StoreCalibration(2.5f, {0, 100, 150, 200, 250, 300, 350, 400});
        bench.StartUp();
        bench.window.messages.clear();
    }
    // The six mode buttons: start work, stop work, calibrate, start test, stop test, restart.
    std::vector<bool> ModeButtons() {
        std::vector<bool> states;
        for (int id : {platform::IDC_START_WORK, platform::IDC_STOP_WORK, platform::IDC_CALIBRATE, platform::IDC_START_TEST, platform::IDC_STOP_TEST, platform::IDC_RESTART})
            states.push_back(bench.window.IsControlEnabled(id));
        return states;
    }
    // The scale's next answers to CMD_READ_WEIGHT.
    void Readings(std::initializer_list<int> counts) {
        for (int c : counts) scale.QueuePacket({0, static_cast<std::uint8_t>(c), 0, 0, 0, 0, 0, 0});
    }
    std::optional<Bytes> CalibrationFile() { return bench.files.File(storage::CALIBRATION_FILE_PATH); }

    ScaleTestBench bench;
    sim::ScriptedDevice& scale = bench.AttachScripted();
};

const std::vector<bool> READY = {true, false, true, true, false, false};
const std::vector<bool> UNCONFIGURED = {false, false, true, true, false, false};

// ---- starting mode

TEST_F(CalibrationTest, StartWithAReadableFileIsReady) {
    Start(true);
    EXPECT_TRUE(bench.window.messages.empty());
    EXPECT_EQ(ModeButtons(), READY);
    EXPECT_TRUE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
    const char* shown[] = {"0", "100", "150", "200", "250", "300", "350", "400"};
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(bench.window.texts[platform::LIMIT_FIELD_IDS[i]], shown[i]);
}

TEST_F(CalibrationTest, StartWithoutAFileOrWithADamagedOneWarnsAndStaysUnconfigured) {
    const std::pair<std::optional<Bytes>, const char*> cases[] = {
        {std::nullopt, "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los "
                       "limites antes de empezar"},
        {Bytes(19, 1), "El archivo de configuracion no es valido, deberá calibrar la balanza y cargar los limites "
                       "antes de empezar"},
    };
    for (const auto& [file, warning] : cases) {
        ScaleTestBench b;
        b.AttachScripted();
        if (file) b.files.SetFile(storage::CALIBRATION_FILE_PATH, *file);
        b.StartUp();
        ASSERT_EQ(b.window.messages.size(), 2u) << warning;
        EXPECT_EQ(b.window.messages[0].text, "Dispositivo Encontrado y Configurado!");
        EXPECT_EQ(b.window.messages[1].text, warning);
        EXPECT_EQ(b.window.messages[1].caption, "Configuración");
        EXPECT_EQ(b.window.messages[1].icon, MessageIcon::Stop);
        EXPECT_FALSE(b.window.IsControlEnabled(platform::IDC_START_WORK));
        EXPECT_FALSE(b.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
        EXPECT_EQ(b.program.calibrationFactor, 0.0f);
        EXPECT_EQ(b.window.texts[platform::LIMIT_FIELD_IDS[0]], "0");
        // A calibration cancelled at its first question still leaves it for Ready.
        b.window.AnswerNext(MessageResult::Cancel);
        b.Press(platform::IDC_CALIBRATE);
        EXPECT_TRUE(b.window.IsControlEnabled(platform::IDC_START_WORK));
    }
}

// ---- calibration

TEST_F(CalibrationTest, CalibrationOf190GramsWithReadings12And107GivesTwo) {
    Start(false);
    bench.window.Type(platform::LIMIT_FIELD_IDS[1], "100");
    bench.window.Type(platform::LIMIT_FIELD_IDS[2], "150");
    Readings({12, 107});
    bench.Press(platform::IDC_CALIBRATE);
    EXPECT_EQ(bench.window.messages, (std::vector<MessageRecord>{
                                         {std::string(CLEAR_SCALE), CALIBRATION, MessageIcon::Exclamation,
                                          MessageButtons::OkCancel},
                                         {std::string(PUT_WEIGHT), CALIBRATION, MessageIcon::Exclamation,
                                          MessageButtons::OkCancel},
                                         {"Calibracion OK!", CALIBRATION, MessageIcon::Information, MessageButtons::Ok},
                                     }));
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);
    EXPECT_EQ(bench.program.zeroCount, 12);
    EXPECT_EQ(CalibrationFile(), (Bytes{0x00, 0x00, 0x00, 0x40, 0, 0, 100, 0, 150, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ModeButtons(), READY);

    // 600 g over 255 counts: worked out in double precision, stored as a float.
    bench.window.Type(platform::IDC_REFERENCE_WEIGHT, "600");
    Readings({0, 255});
    bench.Press(platform::IDC_CALIBRATE);
    const float factor = static_cast<float>(600.0 / 255.0);
    EXPECT_EQ(bench.program.calibrationFactor, factor);
    const auto file = CalibrationFile();
    ASSERT_EQ(file->size(), 20u);
    EXPECT_EQ((*file)[0] | (*file)[1] << 8 | (*file)[2] << 16 | (*file)[3] << 24, std::bit_cast<std::int32_t>(factor));
}

TEST_F(CalibrationTest, CancelAtEitherPromptLeavesTheFileByteForByte) {
    Start(true);
    const auto before = CalibrationFile();
    const MessageRecord cancelled{"Calibración cancelada!", CALIBRATION, MessageIcon::Stop, MessageButtons::Ok};
    // "&Empezar Trabajo" is off while the calibration asks, and on again after it.
    std::vector<bool> startWorkWhileAsked;
    bench.window.whileMessageOpen = [&](const MessageRecord&) {
        startWorkWhileAsked.push_back(bench.window.IsControlEnabled(platform::IDC_START_WORK));
    };
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(platform::IDC_CALIBRATE);
    EXPECT_EQ(bench.window.messages.back(), cancelled);
    EXPECT_TRUE(scale.Writes().empty()) << "no reading was taken";

    Readings({33});
    bench.window.AnswerNext(MessageResult::Ok);
    bench.window.AnswerNext(MessageResult::Cancel);
    bench.Press(platform::IDC_CALIBRATE);
    EXPECT_EQ(bench.window.messages.back(), cancelled);
    EXPECT_EQ(startWorkWhileAsked, std::vector<bool>(5, false));
    EXPECT_EQ(ModeButtons(), READY);
    EXPECT_EQ(CalibrationFile(), before);
    EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
    EXPECT_EQ(bench.program.zeroCount, 33);  // the new zero stays
}

TEST_F(CalibrationTest, CalibrateStopsBothTimersThenARefusedReferenceWeightStopsBeforeAnyPrompt) {
    Start(true);
    bench.window.StartTimer(platform::TIMER_TEST, 100);
    bench.window.StartTimer(platform::TIMER_WORK, 100);
    for (const char* weight : {"149", "601", "100"}) {
        bench.window.messages.clear();
        bench.window.Type(platform::IDC_REFERENCE_WEIGHT, weight);
        bench.Press(platform::IDC_CALIBRATE);
        ASSERT_EQ(bench.window.MessageTexts(), std::vector<std::string>{"Ingrese un numero entre 150 y 600."});
        EXPECT_EQ(ModeButtons(), READY);
    }
    EXPECT_FALSE(bench.window.TimerRunning(platform::TIMER_TEST));
    EXPECT_FALSE(bench.window.TimerRunning(platform::TIMER_WORK));
    EXPECT_TRUE(scale.Writes().empty());
}

TEST_F(CalibrationTest, ReadingsThatCannotMakeAFactorAreNeverStored) {
    Start(true);
    const auto before = CalibrationFile();
    for (int second : {40, 35}) {  // equal readings (infinite factor), a lower one (negative factor)
        Readings({40, second});
        bench.Press(platform::IDC_CALIBRATE);
        EXPECT_EQ(bench.window.MessageTexts().back(), "Lectura invalida, repita la calibracion") << second;
        EXPECT_EQ(bench.window.messages.back().icon, MessageIcon::Stop);
        EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
        EXPECT_EQ(CalibrationFile(), before);
        EXPECT_EQ(ModeButtons(), READY);
    }
}

TEST_F(CalibrationTest, AFailedReadingIsNeverUsed) {
    Start(true);
    const auto before = CalibrationFile();
    bench.Press(platform::IDC_CALIBRATE);  // no answer to the zero reading
    ASSERT_EQ(bench.window.messages.size(), 2u);
    EXPECT_EQ(bench.window.messages[1].text, "No se pudo leer la balanza");
    EXPECT_EQ(bench.window.messages[1].caption, "Calibracion de Balanza");
    EXPECT_EQ(bench.window.messages[1].icon, MessageIcon::Stop);
    bench.window.messages.clear();
    Readings({12});  // and none to the reference reading
    bench.Press(platform::IDC_CALIBRATE);
    ASSERT_EQ(bench.window.messages.size(), 3u);
    EXPECT_EQ(bench.window.messages[2].text, "No se pudo leer la balanza");
    EXPECT_EQ(bench.program.calibrationFactor, 2.5f);
    EXPECT_EQ(CalibrationFile(), before);
    EXPECT_EQ(ModeButtons(), READY);
}

TEST_F(CalibrationTest, CalibrationFileThatCannotBeWrittenIsReportedAndTheFactorStays) {
    Start(true);
    const auto before = CalibrationFile();
    bench.files.FailNextWrites(1);
    Readings({12, 107});
    bench.Press(platform::IDC_CALIBRATE);
    const auto texts = bench.window.MessageTexts();
    EXPECT_EQ(texts.back(), "No se pudo guardar el archivo de configuracion");
    EXPECT_EQ(bench.window.messages.back().caption, "Calibracion de Balanza");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Calibracion OK!"), 0);
    EXPECT_EQ(bench.program.calibrationFactor, 2.0f);
    EXPECT_EQ(CalibrationFile(), before);
}

// ---- test mode

TEST_F(CalibrationTest, TestModeShowsNetGramsAndRawCounts) {
    Start(true);  // factor 2.5
    Readings({12});
    bench.Press(platform::IDC_START_TEST);
    EXPECT_EQ(bench.window.messages[0], (MessageRecord{std::string(CLEAR_SCALE), "Prueba de Balanza",
                                                       MessageIcon::Exclamation, MessageButtons::Ok}));
    EXPECT_EQ(bench.window.timers[platform::TIMER_TEST], 100u);
    EXPECT_EQ(ModeButtons(), (std::vector<bool>{false, false, false, false, true, false}));

    const std::pair<std::optional<int>, const char*> ticks[] = {
        {12, "0"}, {107, "238"},  // 95 x 2.5 = 237.5, "%.0f"
        {10, "-5"},               // below the zero: negative, not wrapped round to 254 counts
        {std::nullopt, ""},       // no answer: both boxes blank, no message
    };
    for (const auto& [reading, grams] : ticks) {
        if (reading) Readings({*reading});
        bench.Tick(platform::TIMER_TEST);
        EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], grams);
        EXPECT_EQ(bench.window.texts[platform::IDC_COUNTS], reading ? std::to_string(*reading) : "");
    }
    EXPECT_EQ(bench.window.messages.size(), 1u);
    bench.program.calibrationFactor = 0.1f;
    Readings({11});  // -0.1 g
    bench.Tick(platform::TIMER_TEST);
    EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], "0") << "never -0";

    bench.Press(platform::IDC_STOP_TEST);
    EXPECT_FALSE(bench.window.TimerRunning(platform::TIMER_TEST));
    EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], "0");
    EXPECT_EQ(bench.window.texts[platform::IDC_COUNTS], "0");
    EXPECT_EQ(ModeButtons(), READY);
}

TEST_F(CalibrationTest, TestModeNeedsAZeroReading) {
    Start(false);
    bench.program.zeroCount = 7;
    bench.Press(platform::IDC_START_TEST);
    ASSERT_EQ(bench.window.messages.size(), 2u);
    EXPECT_EQ(bench.window.messages[1].text, "No se pudo leer la balanza");
    EXPECT_EQ(bench.window.messages[1].caption, "Prueba de Balanza");
    EXPECT_EQ(bench.program.zeroCount, 7);
    EXPECT_FALSE(bench.window.TimerRunning(platform::TIMER_TEST));
    EXPECT_EQ(ModeButtons(), UNCONFIGURED);
    // With a zero, a test and its stop leave Unconfigured for Ready.
    Readings({12});
    bench.Press(platform::IDC_START_TEST);
    bench.Press(platform::IDC_STOP_TEST);
    EXPECT_EQ(ModeButtons(), READY);
}

}  // namespace
