// The line limits through the whole program below the front-end: the edit
// gate of "&Guardar", the order check, the conversion to counts, the packet,
// the limits and calibration files, and every way a save or load can fail.
#include "scale/LineLimits.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "storage/LimitsFile.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using platform::MessageIcon;
using testing_support::MessageRecord;
using testing_support::ScaleTestBench;
using Bytes = std::vector<std::uint8_t>;
using Limits = std::array<std::int16_t, 8>;
using Counts = std::array<std::uint8_t, 8>;

constexpr std::string_view CAPTION = "Enviar limites";
constexpr std::string_view SENT = "Nuevos Limites guardados y enviados";
constexpr std::string_view NOT_SENT = "No pudo enviarse";
constexpr std::string_view UNCALIBRATED = "Balanza sin calibrar, no se enviaron los limites";
constexpr std::string_view PATH = "C:\\velsor\\turno.lim";
constexpr std::string_view OTHER_PATH = "C:\\velsor\\otro.lim";

const Bytes EXAMPLE_FILE = {0x00, 0x00, 0x64, 0x00, 0x96, 0x00, 0xC8, 0x00,
                            0xFA, 0x00, 0x2C, 0x01, 0x5E, 0x01, 0x90, 0x01};
const Limits EXAMPLE_LIMITS = {0, 100, 150, 200, 250, 300, 350, 400};
const Counts EXAMPLE_COUNTS_AT_2 = {0, 50, 75, 100, 125, 150, 175, 200};
const Limits STORED_LIMITS = {10, 20, 30, 40, 50, 60, 70, 80};

Bytes Encoded(const Limits& limits) {
    const auto bytes = storage::EncodeLimits(limits);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes LimitsPacket(const Counts& counts) {
    Bytes packet(16, 0);
    packet[0] = 2;
    std::copy(counts.begin(), counts.end(), packet.begin() + 1);
    return packet;
}

class LineLimitsTest : public ::testing::Test {
protected:
    // A scripted scale and, when the factor is given, a calibration file.
    void Start(std::optional<float> factor = 2.0f) {
        if (factor) bench.StoreCalibration(*factor, STORED_LIMITS);
        bench.StartUp();
        ASSERT_EQ(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS), factor.has_value());
        bench.window.messages.clear();
    }

    void TypeLine(int line, const std::string& text) {
        bench.Type(platform::LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)], text);
    }
    std::string FieldText(int line) const {
        return bench.window.GetControlText(platform::LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)]);
    }

    // Types the limits and saves them to `path` (nullopt: the dialog is cancelled).
    void SaveAs(const Limits& limits, std::optional<std::string_view> path = PATH) {
        for (int line = 1; line <= 8; ++line) TypeLine(line, std::to_string(limits[static_cast<std::size_t>(line - 1)]));
        bench.window.messages.clear();
        bench.window.ChooseNext(path ? std::optional<std::string>(*path) : std::nullopt);
        bench.Press(platform::IDC_SAVE_LIMITS);
    }
    void LoadFrom(std::optional<std::string_view> path) {
        bench.window.ChooseNext(path ? std::optional<std::string>(*path) : std::nullopt);
        bench.Press(platform::IDC_LOAD_LIMITS);
    }

    // The only message shown since the last clear.
    void ExpectOnlyMessage(std::string_view text, std::string_view caption = CAPTION,
                           MessageIcon icon = MessageIcon::Stop) {
        ASSERT_EQ(bench.window.messages.size(), 1u) << ::testing::PrintToString(bench.window.MessageTexts());
        EXPECT_EQ(bench.window.messages[0].text, text);
        EXPECT_EQ(bench.window.messages[0].caption, caption);
        EXPECT_EQ(bench.window.messages[0].icon, icon);
        EXPECT_EQ(bench.window.messages[0].buttons, platform::MessageButtons::Ok);
    }

    std::optional<Bytes> CalibrationFile() const { return bench.files.File(storage::CALIBRATION_FILE_PATH); }
    static Bytes Calibration(float factor, const Limits& limits) {
        const auto bytes = storage::EncodeCalibration({factor, limits});
        return Bytes(bytes.begin(), bytes.end());
    }

    ScaleTestBench bench;
    sim::ScriptedDevice& device = bench.AttachScripted();
};

// ---- the "&Guardar" gate

using LimitGate = LineLimitsTest;

TEST_F(LimitGate, OpensOnlyWhenEveryFieldWasEdited) {
    Start(std::nullopt);
    for (int line = 1; line <= 7; ++line) TypeLine(line, "100");
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    // The last field's first edit opens the gate and only then takes the
    // window in: a refused value is reported with "&Guardar" already on.
    std::vector<bool> saveEnabledWhileAsked;
    bench.window.whileMessageOpen = [&](const MessageRecord&) {
        saveEnabledWhileAsked.push_back(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    };
    TypeLine(8, "900");
    EXPECT_EQ(saveEnabledWhileAsked, std::vector<bool>{true});
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
    EXPECT_TRUE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
}

TEST_F(LimitGate, OneFieldEditedEightTimesEnablesNothing) {
    Start(std::nullopt);
    for (int keystroke = 0; keystroke < 8; ++keystroke) TypeLine(5, std::to_string(keystroke));
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.program.limitEditMask, 0x10);
}

TEST_F(LimitGate, OutOfRangeValueIsReportedAtOnceOnlyOnceTheGateIsOpen) {
    Start(std::nullopt);
    TypeLine(1, "900");  // before the gate opens an edit takes nothing in
    TypeLine(1, "0");
    for (int line = 2; line <= 8; ++line) TypeLine(line, "0");
    EXPECT_TRUE(bench.window.messages.empty());
    TypeLine(3, "801");  // from now on every keystroke takes the whole window in
    ExpectOnlyMessage("Ingrese un numero entre 0 y 800.", "Quelmar", MessageIcon::Exclamation);
    TypeLine(3, "80");
    EXPECT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.dialog.Values().lineLimits[2], 80);
}

TEST_F(LimitGate, LoadingAFileLeavesTheMaskAlone) {
    Start(std::nullopt);
    for (int line = 1; line <= 7; ++line) TypeLine(line, "0");
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    EXPECT_EQ(FieldText(8), "400");
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
}

// ---- checks before anything is stored

using SaveChecks = LineLimitsTest;

TEST_F(SaveChecks, EqualLimitsPassTheOrderCheck) {
    Start();
    SaveAs({300, 300, 300, 300, 300, 300, 300, 300});
    ExpectOnlyMessage(SENT, "", MessageIcon::None);
    EXPECT_EQ(bench.files.File(PATH), Encoded({300, 300, 300, 300, 300, 300, 300, 300}));
}

TEST_F(SaveChecks, FallingLimitStopsBeforeAnyDialogFileOrPacket) {
    Start();
    const Bytes calibrationBefore = *CalibrationFile();
    const int writesBefore = bench.files.WriteCount();
    // The order is checked before the calibration, on every pair of lines.
    const std::pair<Limits, float> cases[] = {{{100, 200, 150, 300, 400, 500, 600, 700}, 2.0f},
                                              {{0, 100, 200, 300, 400, 500, 700, 600}, 2.0f},
                                              {{100, 200, 150, 300, 400, 500, 600, 700}, 0.0f}};
    for (const auto& [limits, factor] : cases) {
        bench.program.calibrationFactor = factor;
        SaveAs(limits);
        ExpectOnlyMessage("Error en limites", "", MessageIcon::None);
    }
    EXPECT_TRUE(bench.window.fileDialogs.empty());
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device.Writes().empty());
}

TEST_F(SaveChecks, RefusedFieldStopsWithTheExchangePromptOnly) {
    Start();
    TypeLine(2, "900");  // one field edited: the gate does not take it in
    ASSERT_TRUE(bench.window.messages.empty());
    bench.window.ChooseNext(std::string(PATH));
    bench.Press(platform::IDC_SAVE_LIMITS);
    ExpectOnlyMessage("Ingrese un numero entre 0 y 800.", "Quelmar", MessageIcon::Exclamation);
    EXPECT_TRUE(bench.window.fileDialogs.empty());
    EXPECT_TRUE(device.Writes().empty());
}

// ---- grams to counts

TEST(LimitsToCounts, TruncatesTowardZeroDividingByTheFactorAsStored) {
    EXPECT_EQ(scale::LimitsToCounts({0, 100, 101, 250, 300, 450, 600, 637}, 2.5f),
              (Counts{0, 40, 40, 100, 120, 180, 240, 254}));
    EXPECT_EQ(scale::LimitsToCounts({301, 1, 3, 0, 0, 0, 0, 0}, 2.0f), (Counts{150, 0, 1, 0, 0, 0, 0, 0}));
    // 0.3f is a little above 0.3: 3 g are 9.9999996 counts, so 9; a division
    // in single precision (or by the decimal 0.3) gives 10. 7 / 0.1f is 69.99999896.
    EXPECT_EQ(scale::LimitsToCounts({3, 0, 0, 0, 0, 0, 0, 0}, 0.3f)[0], 9);
    EXPECT_EQ(scale::LimitsToCounts({7, 0, 0, 0, 0, 0, 0, 0}, 0.1f)[0], 69);
}

TEST(LimitsToCounts, ClampsToTheByteKeepingTheOrder) {
    EXPECT_EQ(scale::LimitsToCounts({0, 100, 200, 300, 500, 600, 700, 800}, 2.0f),
              (Counts{0, 50, 100, 150, 250, 255, 255, 255}));
    EXPECT_EQ(scale::LimitsToCounts({510, 511, 512, -1, -2, -32768, 32767, 1}, 2.0f),
              (Counts{255, 255, 255, 0, 0, 0, 255, 0}));
}

TEST_F(SaveChecks, SavedLimitsGoOutInCountsAtTheLoadedFactor) {
    Start(2.5f);
    SaveAs({0, 100, 101, 250, 300, 450, 600, 637});
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{LimitsPacket({0, 40, 40, 100, 120, 180, 240, 254})});
}

class Uncalibrated : public LineLimitsTest, public ::testing::WithParamInterface<float> {};

TEST_P(Uncalibrated, SaveStoresBothFilesAndLoadShowsTheLimitsButNeitherSends) {
    Start();
    bench.program.calibrationFactor = GetParam();
    SaveAs(EXAMPLE_LIMITS);
    ExpectOnlyMessage(UNCALIBRATED);
    EXPECT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
    EXPECT_EQ(CalibrationFile(), Calibration(GetParam(), EXAMPLE_LIMITS));

    bench.window.messages.clear();
    bench.files.SetFile(OTHER_PATH, Encoded(STORED_LIMITS));
    LoadFrom(OTHER_PATH);
    ExpectOnlyMessage(UNCALIBRATED);
    EXPECT_EQ(FieldText(3), "30");
    EXPECT_TRUE(device.Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(Factors, Uncalibrated,
                         ::testing::Values(0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity()));

// ---- the CMD_SET_LIMITS packet and its time-outs

using LimitsPacketTest = LineLimitsTest;

TEST_F(LimitsPacketTest, SixteenBytesWithTheTailLeftAsItWas) {
    Start();
    // What earlier commands left in the buffer past the limit bytes.
    for (std::size_t i = 9; i < 16; ++i) bench.commandBuffer.Data()[i] = static_cast<std::uint8_t>(0xA0 + i);
    SaveAs(EXAMPLE_LIMITS);
    const Bytes expected = {0x02, 0, 50, 75, 100, 125, 150, 175, 200, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{expected});
}

TEST_F(LimitsPacketTest, SaveWhoseWriteFailsOrTimesOutStillWritesBothFiles) {
    Start();
    for (const auto mode : {sim::ScriptedDevice::WriteMode::Never, sim::ScriptedDevice::WriteMode::Fail}) {
        device.SetWriteMode(mode, 0xE0001013);
        bench.files.RemoveFile(PATH);
        const auto before = bench.clock.Now();
        SaveAs(EXAMPLE_LIMITS);
        // 200 ms for the write; the cancellation that follows completes at once.
        if (mode == sim::ScriptedDevice::WriteMode::Never) {
            EXPECT_GE(bench.clock.Now() - before, 200'000);
            EXPECT_LT(bench.clock.Now() - before, 250'000);
        }
        ExpectOnlyMessage(NOT_SENT);
        EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
        EXPECT_EQ(CalibrationFile(), Calibration(2.0f, EXAMPLE_LIMITS));
    }
}

TEST_F(LimitsPacketTest, LoadWaitsThreeHundredMilliseconds) {
    Start();
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    device.SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, 250'000);
    LoadFrom(PATH);
    ExpectOnlyMessage(SENT, "", MessageIcon::None);

    bench.window.messages.clear();
    device.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    const auto before = bench.clock.Now();
    LoadFrom(PATH);
    EXPECT_GE(bench.clock.Now() - before, 300'000);
    EXPECT_LT(bench.clock.Now() - before, 350'000);
    ExpectOnlyMessage(NOT_SENT);
}

// ---- file dialogs and limits files

using LimitsFiles = LineLimitsTest;

TEST_F(LimitsFiles, CancelInEitherDialogStoresAndSendsNothing) {
    Start();
    const Bytes calibrationBefore = *CalibrationFile();
    SaveAs(EXAMPLE_LIMITS, std::nullopt);
    ExpectOnlyMessage("Cancelado");
    bench.window.messages.clear();
    LoadFrom(std::nullopt);
    ExpectOnlyMessage("Cancelado");
    ASSERT_EQ(bench.window.fileDialogs.size(), 2u);
    EXPECT_EQ(bench.window.fileDialogs[0].settings.kind, platform::FileDialogKind::Save);
    EXPECT_EQ(bench.window.fileDialogs[1].settings.kind, platform::FileDialogKind::Open);
    EXPECT_EQ(bench.window.fileDialogs[1].settings.defaultExtension, ".lim");
    EXPECT_EQ(bench.dialog.Values().lineLimits, EXAMPLE_LIMITS);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device.Writes().empty());
}

TEST_F(LimitsFiles, SaveWritesTheExampleAndTheCalibrationFile) {
    Start(2.5f);
    bench.files.SetFile(PATH, Bytes(40, 0x55));  // replaced whole
    SaveAs(EXAMPLE_LIMITS);
    ExpectOnlyMessage(SENT, "", MessageIcon::None);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
    EXPECT_EQ(CalibrationFile(), Calibration(2.5f, EXAMPLE_LIMITS));
}

TEST_F(LimitsFiles, LoadedExampleIsShownAndSentAndTheCalibrationFileLeftAlone) {
    Start();
    const Bytes calibrationBefore = *CalibrationFile();
    const int writesBefore = bench.files.WriteCount();
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits, EXAMPLE_LIMITS);
    for (int line = 1; line <= 8; ++line)
        EXPECT_EQ(FieldText(line), std::to_string(EXAMPLE_LIMITS[static_cast<std::size_t>(line - 1)]));
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{LimitsPacket(EXAMPLE_COUNTS_AT_2)});
    ExpectOnlyMessage(SENT, "", MessageIcon::None);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
}

TEST_F(LimitsFiles, LoadedLimitsReplaceWhatTheOperatorHadTypedEvenWhereTheValueIsUnchanged) {
    Start();
    // Typed but never taken in: the value behind the field is still the
    // stored one, which the file happens to hold as well.
    TypeLine(1, "7");
    TypeLine(2, "9");
    Limits limits = STORED_LIMITS;
    limits[1] = 123;
    const auto bytes = storage::EncodeLimits(limits);
    bench.files.SetFile(PATH, Bytes(bytes.begin(), bytes.end()));
    LoadFrom(PATH);
    EXPECT_EQ(FieldText(1), std::to_string(STORED_LIMITS[0]));  // what was sent, not "7"
    EXPECT_EQ(FieldText(2), "123");
}

TEST_F(LimitsFiles, LoadingLimitsKeepsTheReferenceWeightTheOperatorIsTyping) {
    Start();
    bench.Type(platform::IDC_REFERENCE_WEIGHT, "250");
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    EXPECT_EQ(FieldText(2), "100");
    EXPECT_EQ(bench.window.GetControlText(platform::IDC_REFERENCE_WEIGHT), "250");
}

TEST_F(LimitsFiles, FallingAndOutOfRangeFileIsLoadedAndSentClamped) {
    Start();
    const Limits falling = {800, 700, 600, 500, 300, -1, 100, 2000};
    Bytes file = Encoded(falling);
    ASSERT_EQ(file[10], 0xFF);
    ASSERT_EQ(file[11], 0xFF);
    file.push_back(0x77);  // past the sixteenth byte: ignored
    bench.files.SetFile(PATH, file);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits, falling);
    EXPECT_EQ(FieldText(6), "-1");
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{LimitsPacket({255, 255, 255, 250, 150, 0, 50, 255})});
    ExpectOnlyMessage(SENT, "", MessageIcon::None);
}

TEST_F(LimitsFiles, UnwritableLimitsFileSendsNothingAndKeepsCalibration) {
    Start();
    const Bytes calibrationBefore = *CalibrationFile();
    bench.files.FailNextWrites(1);
    SaveAs(EXAMPLE_LIMITS);
    ExpectOnlyMessage("No se pudo guardar el archivo de limites");
    EXPECT_FALSE(bench.files.File(PATH).has_value());
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device.Writes().empty());
}

TEST_F(LimitsFiles, MissingOrShortFileChangesAndSendsNothing) {
    const struct {
        const char* name;
        std::optional<Bytes> file;
        bool failRead;
    } cases[] = {
        {"missing", std::nullopt, false},
        {"three bytes", Bytes{0x2C, 0x01, 0x50}, false},
        {"fifteen bytes", Bytes(EXAMPLE_FILE.begin(), EXAMPLE_FILE.end() - 1), false},
        {"cannot be opened", EXAMPLE_FILE, true},
    };
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.window.messages.clear();
        bench.files.RemoveFile(OTHER_PATH);
        if (c.file) bench.files.SetFile(OTHER_PATH, *c.file);
        if (c.failRead) bench.files.FailNextReads(1);
        LoadFrom(OTHER_PATH);
        ExpectOnlyMessage("No se pudo leer el archivo de limites");
        EXPECT_EQ(bench.dialog.Values().lineLimits, STORED_LIMITS);
        EXPECT_EQ(FieldText(1), "10");
        EXPECT_TRUE(device.Writes().empty());
    }
}

TEST_F(LimitsFiles, FailedCalibrationRewriteIsReportedAndTheSendStands) {
    Start();
    const Bytes calibrationBefore = *CalibrationFile();
    // The limits file is written and the packet sent; the calibration file
    // written after the report is refused.
    bench.window.whileMessageOpen = [this](const MessageRecord& message) {
        if (message.text == SENT) bench.files.FailNextWrites(1);
    };
    SaveAs(EXAMPLE_LIMITS);
    EXPECT_EQ(bench.window.MessageTexts(),
              (std::vector<std::string>{std::string(SENT), "No se pudo guardar el archivo de configuracion"}));
    EXPECT_EQ(bench.window.messages[1].caption, CAPTION);
    EXPECT_EQ(bench.window.messages[1].icon, MessageIcon::Stop);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_EQ(device.Writes(), std::vector<Bytes>{LimitsPacket(EXAMPLE_COUNTS_AT_2)});
}

}  // namespace
