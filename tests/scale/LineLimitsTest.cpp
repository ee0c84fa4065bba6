// The line limits through the whole program below the front-end: the edit
// gate of "&Guardar", the order check, the conversion to counts, the packet,
// the limits and calibration files, and every way a save or load can fail.
#include "scale/LineLimits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "storage/LimitsFile.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using platform::FileDialogKind;
using platform::MessageButtons;
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
const Limits STORED_LIMITS = {10, 20, 30, 40, 50, 60, 70, 80};

Bytes Encoded(const Limits& limits) {
    const auto bytes = storage::EncodeLimits(limits);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes EncodedCalibration(float factor, const Limits& limits) {
    const auto bytes = storage::EncodeCalibration(storage::CalibrationData{factor, limits});
    return Bytes(bytes.begin(), bytes.end());
}

Bytes LimitsPacket(const Counts& counts, std::uint8_t tail = 0) {
    Bytes packet(16, tail);
    packet[0] = 2;
    for (std::size_t i = 0; i < counts.size(); ++i) packet[1 + i] = counts[i];
    return packet;
}

void ExpectMessage(const MessageRecord& message, std::string_view text, std::string_view caption, MessageIcon icon) {
    EXPECT_EQ(message.text, text);
    EXPECT_EQ(message.caption, caption);
    EXPECT_EQ(message.icon, icon);
    EXPECT_EQ(message.buttons, MessageButtons::Ok);
}

class LineLimitsTest : public ::testing::Test {
protected:
    // A scripted scale and a calibration file with the given factor.
    void StartCalibrated(float factor, const Limits& limits = STORED_LIMITS) {
        device = &bench.AttachScripted();
        bench.StoreCalibration(factor, limits);
        bench.StartUp();
        ASSERT_TRUE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
        bench.window.messages.clear();
    }

    // A scripted scale and no calibration file: "&Guardar" starts disabled.
    void StartWithoutCalibration() {
        device = &bench.AttachScripted();
        bench.StartUp();
        ASSERT_FALSE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
        bench.window.messages.clear();
    }

    void TypeLine(int line, const std::string& text) {
        bench.Type(scale::LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)], text);
    }

    void TypeLimits(const Limits& limits) {
        for (int line = 1; line <= 8; ++line) TypeLine(line, std::to_string(limits[static_cast<std::size_t>(line - 1)]));
    }

    std::string FieldText(int line) const {
        return bench.window.GetControlText(scale::LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)]);
    }

    // Types the limits and saves them to `path`.
    void SaveAs(const Limits& limits, std::string_view path = PATH) {
        TypeLimits(limits);
        bench.window.messages.clear();
        bench.window.ChooseNext(std::string(path));
        bench.Press(scale::IDC_SAVE_LIMITS);
    }

    void LoadFrom(std::string_view path) {
        bench.window.ChooseNext(std::string(path));
        bench.Press(scale::IDC_LOAD_LIMITS);
    }

    std::optional<Bytes> CalibrationFile() const { return bench.files.File(storage::CALIBRATION_FILE_PATH); }

    ScaleTestBench bench;
    sim::ScriptedDevice* device = nullptr;
};

// ---- the "&Guardar" gate ------------------------------------------------------

using LimitGate = LineLimitsTest;

TEST_F(LimitGate, OpensOnlyWhenEveryFieldWasEdited) {
    StartWithoutCalibration();
    for (int line = 1; line <= 7; ++line) {
        TypeLine(line, "100");
        EXPECT_FALSE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS)) << "after line " << line;
    }
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    TypeLine(8, "100");
    EXPECT_TRUE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.program.limitEditMask, 0xFF);
}

TEST_F(LimitGate, OpensInAnyOrderOfLines) {
    StartWithoutCalibration();
    for (int line : {8, 3, 1, 6, 2, 7, 5}) TypeLine(line, "0");
    EXPECT_FALSE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
    TypeLine(4, "0");
    EXPECT_TRUE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
}

TEST_F(LimitGate, OneFieldEditedEightTimesEnablesNothing) {
    StartWithoutCalibration();
    for (int keystroke = 0; keystroke < 8; ++keystroke) TypeLine(5, std::to_string(keystroke));
    EXPECT_FALSE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
    EXPECT_EQ(bench.program.limitEditMask, 0x10);
}

TEST_F(LimitGate, OutOfRangeValueIsReportedAtOnceOnlyOnceTheGateIsOpen) {
    StartWithoutCalibration();
    // Before the gate opens an edit takes nothing in: no prompt.
    TypeLine(1, "900");
    EXPECT_TRUE(bench.window.messages.empty());
    TypeLine(1, "0");
    for (int line = 2; line <= 8; ++line) TypeLine(line, "0");
    EXPECT_TRUE(bench.window.messages.empty());
    // From now on every keystroke takes the whole window in.
    TypeLine(3, "801");
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Ingrese un numero entre 0 y 800.");
    TypeLine(3, "80");
    EXPECT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.dialog.Values().lineLimits[2], 80);
}

TEST_F(LimitGate, LoadingAFileLeavesTheMaskAlone) {
    StartWithoutCalibration();
    for (int line = 1; line <= 7; ++line) TypeLine(line, "0");
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    // The fields show the loaded limits, yet no field counts as edited.
    EXPECT_EQ(FieldText(8), "400");
    EXPECT_EQ(bench.program.limitEditMask, 0x7F);
    EXPECT_FALSE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
    TypeLine(8, "400");
    EXPECT_TRUE(bench.window.IsControlEnabled(scale::IDC_SAVE_LIMITS));
}

// ---- checks before anything is stored -------------------------------------------

using SaveChecks = LineLimitsTest;

TEST_F(SaveChecks, EqualLimitsPassTheOrderCheck) {
    StartCalibrated(2.0f);
    SaveAs({300, 300, 300, 300, 300, 300, 300, 300});
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], SENT, "", MessageIcon::None);
    EXPECT_EQ(bench.files.File(PATH), Encoded({300, 300, 300, 300, 300, 300, 300, 300}));
}

TEST_F(SaveChecks, FallingLimitStopsBeforeAnyDialogFileOrPacket) {
    StartCalibrated(2.0f);
    const Bytes calibrationBefore = *CalibrationFile();
    const int writesBefore = bench.files.WriteCount();
    SaveAs({100, 200, 150, 300, 400, 500, 600, 700});
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], "Error en limites", "", MessageIcon::None);
    EXPECT_TRUE(bench.window.fileDialogs.empty());
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
    EXPECT_FALSE(bench.files.File(PATH).has_value());
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(SaveChecks, FallFromLineSevenToEightIsCaught) {
    StartCalibrated(2.0f);
    SaveAs({0, 100, 200, 300, 400, 500, 700, 600});
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Error en limites");
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(SaveChecks, OrderIsCheckedBeforeTheCalibration) {
    StartCalibrated(2.0f);
    bench.program.calibrationFactor = 0.0f;
    SaveAs({100, 200, 150, 300, 400, 500, 600, 700});
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Error en limites");
}

TEST_F(SaveChecks, RefusedFieldStopsWithTheExchangePromptOnly) {
    StartCalibrated(2.0f);
    TypeLine(2, "900");  // one field edited: the gate does not take it in
    ASSERT_TRUE(bench.window.messages.empty());
    bench.window.ChooseNext(std::string(PATH));
    bench.Press(scale::IDC_SAVE_LIMITS);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, "Ingrese un numero entre 0 y 800.");
    EXPECT_TRUE(bench.window.fileDialogs.empty());
    EXPECT_TRUE(device->Writes().empty());
}

// ---- grams to counts ---------------------------------------------------------------

TEST(LimitsToCounts, TruncatesTowardZero) {
    EXPECT_EQ(scale::LimitsToCounts({0, 100, 101, 250, 300, 450, 600, 637}, 2.5f),
              (Counts{0, 40, 40, 100, 120, 180, 240, 254}));
    EXPECT_EQ(scale::LimitsToCounts({301, 1, 3, 0, 0, 0, 0, 0}, 2.0f)[0], 150);
    EXPECT_EQ(scale::LimitsToCounts({301, 1, 3, 0, 0, 0, 0, 0}, 2.0f)[1], 0);
}

TEST(LimitsToCounts, DividesByTheFactorAsStoredNotAsWritten) {
    // 0.3f is a little above 0.3: 3 g are 9.9999996 counts, so 9. A division
    // in single precision (or by the decimal 0.3) would give 10.
    EXPECT_EQ(scale::LimitsToCounts({3, 7, 0, 0, 0, 0, 0, 0}, 0.3f)[0], 9);
    // 7 / 0.1f is 69.99999896.
    EXPECT_EQ(scale::LimitsToCounts({7, 0, 0, 0, 0, 0, 0, 0}, 0.1f)[0], 69);
}

TEST(LimitsToCounts, ClampsToTheByteKeepingTheOrder) {
    EXPECT_EQ(scale::LimitsToCounts({0, 100, 200, 300, 500, 600, 700, 800}, 2.0f),
              (Counts{0, 50, 100, 150, 250, 255, 255, 255}));
    EXPECT_EQ(scale::LimitsToCounts({510, 511, 512, -1, -2, -32768, 32767, 1}, 2.0f),
              (Counts{255, 255, 255, 0, 0, 0, 255, 0}));
}

using Conversion = LineLimitsTest;

TEST_F(Conversion, SavedLimitsGoOutInCountsAtTheLoadedFactor) {
    StartCalibrated(2.5f);
    SaveAs({0, 100, 101, 250, 300, 450, 600, 637});
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0], LimitsPacket({0, 40, 40, 100, 120, 180, 240, 254}));
}

TEST_F(Conversion, LimitsAbove255CountsGoOutAs255) {
    StartCalibrated(2.0f);
    SaveAs({0, 100, 200, 301, 500, 600, 700, 800});
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0], LimitsPacket({0, 50, 100, 150, 250, 255, 255, 255}));
}

class Uncalibrated : public LineLimitsTest, public ::testing::WithParamInterface<float> {};

TEST_P(Uncalibrated, SaveRefusesBeforeAnyDialogOrFile) {
    StartCalibrated(2.0f);
    bench.program.calibrationFactor = GetParam();
    const Bytes calibrationBefore = *CalibrationFile();
    SaveAs(EXAMPLE_LIMITS);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], UNCALIBRATED, CAPTION, MessageIcon::Stop);
    EXPECT_TRUE(bench.window.fileDialogs.empty());
    EXPECT_FALSE(bench.files.File(PATH).has_value());
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device->Writes().empty());
}

TEST_P(Uncalibrated, LoadShowsTheLimitsButSendsNothing) {
    StartCalibrated(2.0f);
    bench.program.calibrationFactor = GetParam();
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits, EXAMPLE_LIMITS);
    EXPECT_EQ(FieldText(3), "150");
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], UNCALIBRATED, CAPTION, MessageIcon::Stop);
    EXPECT_TRUE(device->Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(Factors, Uncalibrated,
                         ::testing::Values(0.0f, -0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity()));

TEST_F(Conversion, UncalibratedStartRefusesALoadedFile) {
    StartWithoutCalibration();
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, UNCALIBRATED);
    EXPECT_TRUE(device->Writes().empty());
}

// ---- the CMD_SET_LIMITS packet and its time-outs -------------------------------------

using LimitsPacketTest = LineLimitsTest;

TEST_F(LimitsPacketTest, SixteenBytesWithTheTailLeftAsItWas) {
    StartCalibrated(2.0f);
    // What earlier commands left in the buffer past the limit bytes.
    for (std::size_t i = 9; i < 16; ++i) bench.commandBuffer.Data()[i] = static_cast<std::uint8_t>(0xA0 + i);
    SaveAs(EXAMPLE_LIMITS);
    ASSERT_EQ(device->Writes().size(), 1u);
    const Bytes expected = {0x02, 0, 50, 75, 100, 125, 150, 175, 200, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
    EXPECT_EQ(device->Writes()[0], expected);
}

TEST_F(LimitsPacketTest, SaveWhoseWriteTimesOutStillWritesBothFiles) {
    StartCalibrated(2.0f);
    device->SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    TypeLimits(EXAMPLE_LIMITS);
    bench.window.messages.clear();
    bench.window.ChooseNext(std::string(PATH));
    const auto before = bench.clock.Now();
    bench.Press(scale::IDC_SAVE_LIMITS);
    const auto waited = bench.clock.Now() - before;
    // 200 ms for the write; the cancellation that follows completes at once.
    EXPECT_GE(waited, 200'000);
    EXPECT_LT(waited, 250'000);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], NOT_SENT, CAPTION, MessageIcon::Stop);
    EXPECT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
    EXPECT_EQ(CalibrationFile(), EncodedCalibration(2.0f, EXAMPLE_LIMITS));
}

TEST_F(LimitsPacketTest, LoadWaitsThreeHundredMilliseconds) {
    StartCalibrated(2.0f);
    device->SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    const auto before = bench.clock.Now();
    LoadFrom(PATH);
    const auto waited = bench.clock.Now() - before;
    EXPECT_GE(waited, 300'000);
    EXPECT_LT(waited, 350'000);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], NOT_SENT, CAPTION, MessageIcon::Stop);
}

TEST_F(LimitsPacketTest, WriteThatCompletesJustInTimeIsASuccess) {
    StartCalibrated(2.0f);
    device->SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, 250'000);
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);  // 300 ms allowed after a load
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], SENT, "", MessageIcon::None);
}

TEST_F(LimitsPacketTest, RefusedWriteSaysNotSentAndStillRewritesCalibration) {
    StartCalibrated(2.0f);
    device->SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, 0xE0001013);
    SaveAs(EXAMPLE_LIMITS);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], NOT_SENT, CAPTION, MessageIcon::Stop);
    EXPECT_EQ(CalibrationFile(), EncodedCalibration(2.0f, EXAMPLE_LIMITS));
}

// ---- file dialogs ----------------------------------------------------------------

using LimitsDialogs = LineLimitsTest;

TEST_F(LimitsDialogs, CancelledSaveStoresAndSendsNothing) {
    StartCalibrated(2.0f);
    const Bytes calibrationBefore = *CalibrationFile();
    TypeLimits(EXAMPLE_LIMITS);
    bench.window.messages.clear();
    bench.window.ChooseNext(std::nullopt);
    bench.Press(scale::IDC_SAVE_LIMITS);
    ASSERT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.window.fileDialogs[0].settings.kind, FileDialogKind::Save);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], "Cancelado", CAPTION, MessageIcon::Stop);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(LimitsDialogs, CancelledLoadChangesAndSendsNothing) {
    StartCalibrated(2.0f);
    bench.window.ChooseNext(std::nullopt);
    bench.Press(scale::IDC_LOAD_LIMITS);
    ASSERT_EQ(bench.window.fileDialogs.size(), 1u);
    EXPECT_EQ(bench.window.fileDialogs[0].settings.kind, FileDialogKind::Open);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], "Cancelado", CAPTION, MessageIcon::Stop);
    EXPECT_EQ(bench.dialog.Values().lineLimits, STORED_LIMITS);
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(LimitsDialogs, BothDialogsOfferLimitsFilesInTheProgramFolder) {
    StartCalibrated(2.0f);
    bench.window.ChooseNext(std::nullopt);
    bench.Press(scale::IDC_LOAD_LIMITS);
    SaveAs(EXAMPLE_LIMITS);
    ASSERT_EQ(bench.window.fileDialogs.size(), 2u);
    for (const auto& dialog : bench.window.fileDialogs) {
        EXPECT_EQ(dialog.settings.initialFolder, "C:\\velsor\\");
        EXPECT_EQ(dialog.settings.defaultExtension, ".lim");
        ASSERT_EQ(dialog.settings.filters.size(), 2u);
        EXPECT_EQ(dialog.settings.filters[0].description, "Archivos Límites USB(*.lim)");
    }
}

// ---- limits files -------------------------------------------------------------------

using LimitsFiles = LineLimitsTest;

TEST_F(LimitsFiles, SavedFileIsTheExampleByteForByte) {
    StartCalibrated(2.0f);
    bench.files.SetFile(PATH, Bytes(40, 0x55));  // replaced whole
    SaveAs(EXAMPLE_LIMITS);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
}

TEST_F(LimitsFiles, LoadedExampleIsShownAndSent) {
    StartCalibrated(2.0f);
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits, EXAMPLE_LIMITS);
    const char* shown[] = {"0", "100", "150", "200", "250", "300", "350", "400"};
    for (int line = 1; line <= 8; ++line) EXPECT_EQ(FieldText(line), shown[line - 1]) << "line " << line;
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0], LimitsPacket({0, 50, 75, 100, 125, 150, 175, 200}));
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], SENT, "", MessageIcon::None);
}

TEST_F(LimitsFiles, FFFFLoadsAsMinusOneAndGoesOutAsZero) {
    StartCalibrated(2.0f);
    Bytes file = EXAMPLE_FILE;
    file[0] = 0xFF;
    file[1] = 0xFF;
    bench.files.SetFile(PATH, file);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits[0], -1);
    EXPECT_EQ(FieldText(1), "-1");
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0][1], 0);
}

TEST_F(LimitsFiles, FallingAndOutOfRangeFileIsLoadedAndSentClamped) {
    StartCalibrated(2.0f);
    const Limits falling = {800, 700, 600, 500, 300, -5, 100, 2000};
    Bytes file = Encoded(falling);
    file.push_back(0x77);  // past the sixteenth byte: ignored
    bench.files.SetFile(PATH, file);
    LoadFrom(PATH);
    EXPECT_EQ(bench.dialog.Values().lineLimits, falling);
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0], LimitsPacket({255, 255, 255, 250, 150, 0, 50, 255}));
    ASSERT_EQ(bench.window.messages.size(), 1u);
    EXPECT_EQ(bench.window.messages[0].text, SENT);
}

TEST_F(LimitsFiles, UnwritableLimitsFileSendsNothingAndKeepsCalibration) {
    StartCalibrated(2.0f);
    const Bytes calibrationBefore = *CalibrationFile();
    TypeLimits(EXAMPLE_LIMITS);
    bench.window.messages.clear();
    bench.files.FailNextWrites(1);
    bench.window.ChooseNext(std::string(PATH));
    bench.Press(scale::IDC_SAVE_LIMITS);
    ASSERT_EQ(bench.window.messages.size(), 1u);
    ExpectMessage(bench.window.messages[0], "No se pudo guardar el archivo de limites", CAPTION, MessageIcon::Stop);
    EXPECT_FALSE(bench.files.File(PATH).has_value());
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(LimitsFiles, MissingOrShortFileChangesAndSendsNothing) {
    struct Case {
        const char* name;
        std::optional<Bytes> file;
        bool failRead;
    };
    const Case cases[] = {
        {"missing", std::nullopt, false},
        {"three bytes", Bytes{0x2C, 0x01, 0x50}, false},
        {"fifteen bytes", Bytes(EXAMPLE_FILE.begin(), EXAMPLE_FILE.end() - 1), false},
        {"cannot be opened", EXAMPLE_FILE, true},
    };
    StartCalibrated(2.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bench.window.messages.clear();
        bench.files.RemoveFile(OTHER_PATH);
        if (c.file) bench.files.SetFile(OTHER_PATH, *c.file);
        if (c.failRead) bench.files.FailNextReads(1);
        LoadFrom(OTHER_PATH);
        ASSERT_EQ(bench.window.messages.size(), 1u);
        ExpectMessage(bench.window.messages[0], "No se pudo leer el archivo de limites", CAPTION, MessageIcon::Stop);
        EXPECT_EQ(bench.dialog.Values().lineLimits, STORED_LIMITS);
        EXPECT_EQ(FieldText(1), "10");
        EXPECT_TRUE(device->Writes().empty());
    }
}

// ---- the calibration file ----------------------------------------------------------

using CalibrationRewrite = LineLimitsTest;

TEST_F(CalibrationRewrite, SaveStoresTheFactorAndTheNewLimits) {
    StartCalibrated(2.5f);
    SaveAs(EXAMPLE_LIMITS);
    EXPECT_EQ(CalibrationFile(), EncodedCalibration(2.5f, EXAMPLE_LIMITS));
}

TEST_F(CalibrationRewrite, LoadLeavesTheCalibrationFileAlone) {
    StartCalibrated(2.0f);
    const Bytes calibrationBefore = *CalibrationFile();
    const int writesBefore = bench.files.WriteCount();
    bench.files.SetFile(PATH, EXAMPLE_FILE);
    LoadFrom(PATH);
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    EXPECT_EQ(bench.files.WriteCount(), writesBefore);
}

TEST_F(CalibrationRewrite, FailedRewriteIsReportedAndTheSendStands) {
    StartCalibrated(2.0f);
    const Bytes calibrationBefore = *CalibrationFile();
    // The limits file is written and the packet sent; the calibration file
    // written after the report is refused.
    bench.window.whileMessageOpen = [this](const MessageRecord& message) {
        if (message.text == SENT) bench.files.FailNextWrites(1);
    };
    SaveAs(EXAMPLE_LIMITS);
    ASSERT_EQ(bench.window.messages.size(), 2u);
    ExpectMessage(bench.window.messages[0], SENT, "", MessageIcon::None);
    ExpectMessage(bench.window.messages[1], "No se pudo guardar el archivo de configuracion", CAPTION,
                  MessageIcon::Stop);
    EXPECT_EQ(bench.files.File(PATH), EXAMPLE_FILE);
    EXPECT_EQ(*CalibrationFile(), calibrationBefore);
    ASSERT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(device->Writes()[0], LimitsPacket({0, 50, 75, 100, 125, 150, 175, 200}));
}

// ---- with the simulated scale ----------------------------------------------------

TEST(LimitsOnTheSimulatedScale, ScaleTakesTheCountsAndSortsByThem) {
    ScaleTestBench bench;
    sim::SimulatedScaleOptions options;
    options.weightMean = 100.0;  // every item 100 counts, 200 g at 2.0 g per count
    options.weightSpread = 0.0;
    options.itemJitter = 0.0;
    sim::SimulatedScale& scale = bench.AttachSimulated(options);
    bench.StoreCalibration(2.0f, STORED_LIMITS);
    bench.StartUp();
    ASSERT_FALSE(scale.LimitsReceived());

    const Limits limits = {0, 100, 200, 300, 400, 500, 600, 800};
    for (int line = 1; line <= 8; ++line)
        bench.Type(scale::LIMIT_FIELD_IDS[static_cast<std::size_t>(line - 1)],
                   std::to_string(limits[static_cast<std::size_t>(line - 1)]));
    bench.window.ChooseNext(std::string(PATH));
    bench.Press(scale::IDC_SAVE_LIMITS);
    ASSERT_TRUE(scale.LimitsReceived());
    EXPECT_EQ(scale.LastLimits(), (Counts{0, 50, 100, 150, 200, 250, 255, 255}));

    // 200 g is line 3's limit exactly: every item goes there.
    bench.clock.Advance(10'000'000);
    scale.SetPaused(false, bench.clock.Now());
    const auto sorted = scale.LineTotals();
    ASSERT_GT(sorted[2], 0u);
    for (std::size_t line = 0; line < 8; ++line) {
        if (line != 2) {
            EXPECT_EQ(sorted[line], 0u) << "line " << line + 1;
        }
    }

    // A loaded set takes over: now only line 8 is high enough.
    bench.files.SetFile(OTHER_PATH, Encoded({10, 20, 30, 40, 50, 60, 70, 800}));
    bench.window.ChooseNext(std::string(OTHER_PATH));
    bench.Press(scale::IDC_LOAD_LIMITS);
    EXPECT_EQ(scale.LastLimits(), (Counts{5, 10, 15, 20, 25, 30, 35, 255}));
    bench.clock.Advance(10'000'000);
    scale.SetPaused(false, bench.clock.Now());
    EXPECT_EQ(scale.LineTotals()[2], sorted[2]);
    EXPECT_GT(scale.LineTotals()[7], 0u);
}

}  // namespace
