// Every file operation of every action that touches a file, failed in turn:
// the operator is told in the box that belongs to that file, and the file
// keeps its previous content. Each box on its own is checked with its
// operation in tests/scale; this sweep catches an operation left unchecked.
#include <gtest/gtest.h>

#include "scale/Calibration.h"
#include "scale/LineLimits.h"
#include "scale/WorkMode.h"
#include "storage/LimitsFile.h"
#include "tests/support/OperationBench.h"
#include "tests/support/ProgramBoxes.h"

namespace {

using namespace testing_support::boxes;
using testing_support::MemoryFileSystem;
using testing_support::OperationBench;

const std::string CALIBRATION_PATH(storage::CALIBRATION_FILE_PATH);
const std::string LIMITS_PATH = "C:\\velsor\\turno.lim";
const std::string REPORT_PATH = "C:\\velsor\\turno.est";

struct Action {
    const char* name;
    void (*run)(scale::ScaleContext&);
    std::string chosenFile;  // the file dialog's answer
};

testing_support::MessageRecord BoxFor(const Action& action, const MemoryFileSystem::Operation& failed) {
    if (failed.path == CALIBRATION_PATH && !failed.write) return CONFIGURATION_MISSING;
    if (std::string(action.name) == "SaveLimits" && failed.write)
        return SavedInPart(LIMITS_SENT_ONLY,
                           {failed.path == LIMITS_PATH ? LimitsFileFailed(LIMITS_PATH) : CalibrationFileFailed()});
    if (failed.path == CALIBRATION_PATH)
        return ConfigurationNotSaved(std::string(action.name) == "Calibrate" ? CALIBRATION : LIMITS);
    if (failed.path == LIMITS_PATH) return LimitsNotRead(LIMITS_PATH, "la carpeta no existe");
    return ReportNotSaved(REPORT_PATH);
}

TEST(FileFaults, EachFailedFileOperationIsReportedAndLeavesItsFileAsItWas) {
    const Action actions[] = {
        {"StartUp", scale::ChooseStartingMode, ""},
        {"Calibrate", scale::Calibrate, ""},
        {"SaveLimits", scale::SaveLimits, LIMITS_PATH},
        {"LoadLimits", scale::LoadLimits, LIMITS_PATH},
        {"SaveStatistics", scale::SaveStatistics, REPORT_PATH},
    };
    // The files of an earlier shift.
    const auto prepare = [](OperationBench& b) {
        b.StoreCalibration(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
        b.program.calibrationFactor = 2.0f;
        const auto limits = storage::EncodeLimits({10, 20, 30, 40, 50, 60, 70, 80});
        b.files.SetFile(LIMITS_PATH, {limits.begin(), limits.end()});
        b.files.SetFile(REPORT_PATH, {'v', 'i', 'e', 'j', 'o'});
        b.link.weights = {12, 107};
    };
    const auto run = [](const Action& action, OperationBench& b) {
        if (!action.chosenFile.empty()) b.window.ChooseNext(action.chosenFile);
        action.run(b.context);
    };
    for (const Action& action : actions) {
        OperationBench clean;
        prepare(clean);
        run(action, clean);
        ASSERT_FALSE(clean.files.operations.empty()) << action.name << " touches no file";
        for (std::size_t k = 1; k <= clean.files.operations.size(); ++k) {
            const MemoryFileSystem::Operation& failed = clean.files.operations[k - 1];
            SCOPED_TRACE(std::string(action.name) + (failed.write ? ", write " : ", read ") + failed.path);
            OperationBench b;
            prepare(b);
            const auto before = b.files.File(failed.path);
            b.files.FailOperation(k);
            run(action, b);
            const auto& boxes = b.window.messages;
            EXPECT_NE(std::find(boxes.begin(), boxes.end(), BoxFor(action, failed)), boxes.end())
                << ::testing::PrintToString(boxes);
            EXPECT_EQ(b.files.File(failed.path), before);
        }
    }
}

}  // namespace
