// Every file operation of the calibration file, the limits files and the
// statistics report, failed in turn: the operator is told in the message
// that belongs to that file, and the file that could not be written keeps
// its previous content. Then the same failures as the real file system
// gives them: a missing folder and read-only files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/emulated/EmulatedKernel.h"
#include "platform/ControlIds.h"
#include "scale/ScaleLink.h"
#include "sim/SimulatedScale.h"
#include "sim/UsbioDriver.h"
#include "storage/CalibrationFile.h"
#include "storage/LimitsFile.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/faults/FailingFileSystem.h"
#include "tests/support/FakeWindowServices.h"
#include "ui/quelmarDlg.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbPipe.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::FailingFileSystem;

const std::string CALIBRATION(storage::CALIBRATION_FILE_PATH);
const std::string LIMITS_FILE = "C:\\velsor\\turno.lim";
const std::string REPORT_FILE = "C:\\velsor\\turno.est";

const std::string MISSING_CALIBRATION =
    "No se encontro el archivo de configuracion, deberá calibrar la balanza y cargar los limites antes de empezar";
const std::string CALIBRATION_NOT_SAVED = "No se pudo guardar el archivo de configuracion";
const std::string LIMITS_NOT_SAVED = "No se pudo guardar el archivo de limites";
const std::string LIMITS_NOT_READ = "No se pudo leer el archivo de limites";
const std::string REPORT_NOT_SAVED = "No se pudo guardar el archivo de estadisticas";

Bytes CalibrationBytes(float factor, const std::array<std::int16_t, 8>& limits) {
    const auto bytes = storage::EncodeCalibration(storage::CalibrationData{factor, limits});
    return Bytes(bytes.begin(), bytes.end());
}

Bytes LimitsBytes(const std::array<std::int16_t, 8>& limits) {
    const auto bytes = storage::EncodeLimits(limits);
    return Bytes(bytes.begin(), bytes.end());
}

// The program on the simulated scale, over any file system.
struct Rig {
    explicit Rig(storage::FileSystem& fileSystem) : files(fileSystem) {
        kernel.AttachDevice(std::make_shared<sim::UsbioDriver>(scale));
        // Calibration asks for the reference weight: the operator puts it on.
        window.whileMessageOpen = [this](const testing_support::MessageRecord& box) {
            if (box.text == "Ponga el peso patron sobre la balanza") scale->SetReferenceOn(true, clock.Now());
        };
    }

    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};
    std::shared_ptr<sim::SimulatedScale> scale = std::make_shared<sim::SimulatedScale>();
    usbio::UsbDevice device;
    usbio::UsbPipe readPipe;
    usbio::UsbPipe writePipe;
    usbio::UsbBuffer statusBuffer{scale::STATUS_PACKET_SIZE};
    usbio::UsbBuffer commandBuffer{scale::COMMAND_PACKET_SIZE};
    scale::ScaleLink link{device, readPipe, writePipe, statusBuffer, commandBuffer};
    storage::FileSystem& files;
    testing_support::FakeWindowServices window;
    scale::ProgramValues program;
    ui::MainDialog dialog{window, link, files, program};
};

// The message that tells the operator about a failed operation on a file.
std::string MessageFor(const FailingFileSystem::Operation& operation) {
    if (operation.path == CALIBRATION) return operation.write ? CALIBRATION_NOT_SAVED : MISSING_CALIBRATION;
    if (operation.path == LIMITS_FILE) return operation.write ? LIMITS_NOT_SAVED : LIMITS_NOT_READ;
    if (operation.path == REPORT_FILE && operation.write) return REPORT_NOT_SAVED;
    return "(no message known for " + operation.path + ")";
}

struct Action {
    std::string name;
    std::function<void(Rig&)> run;  // after start-up
    bool startUp = false;           // the action is the start-up itself
};

// Names the case in GoogleTest's output (instead of dumping its bytes).
void PrintTo(const Action& action, std::ostream* out) { *out << action.name; }

class FileFaultTest : public ::testing::TestWithParam<Action> {
protected:
    // The files before the action: a calibration and a limits file of an
    // earlier shift, and an earlier report.
    static void Prepare(testing_support::MemoryFileSystem& memory) {
        memory.SetFile(CALIBRATION, CalibrationBytes(2.0f, {0, 100, 150, 200, 250, 300, 350, 400}));
        memory.SetFile(LIMITS_FILE, LimitsBytes({10, 20, 30, 40, 50, 60, 70, 80}));
        memory.SetFile(REPORT_FILE, Bytes{'v', 'i', 'e', 'j', 'o'});
    }

    static std::vector<FailingFileSystem::Operation> Run(const Action& action, std::size_t failing,
                                                         testing_support::MemoryFileSystem& memory,
                                                         std::vector<std::string>& messages) {
        FailingFileSystem files(memory);
        Rig rig(files);
        if (!action.startUp) rig.dialog.InitializeWindow();
        files.FailOperation(failing);
        if (action.startUp)
            rig.dialog.InitializeWindow();
        else
            action.run(rig);
        messages = rig.window.MessageTexts();
        return files.operations;
    }
};

TEST_P(FileFaultTest, EachFailedFileOperationIsReportedAndLeavesItsFileAsItWas) {
    const Action& action = GetParam();
    testing_support::MemoryFileSystem clean;
    Prepare(clean);
    std::vector<std::string> messages;
    const auto operations = Run(action, 0, clean, messages);
    ASSERT_FALSE(operations.empty()) << "the action touches no file";

    for (std::size_t k = 1; k <= operations.size(); ++k) {
        const FailingFileSystem::Operation& failed = operations[k - 1];
        SCOPED_TRACE("operation " + std::to_string(k) + (failed.write ? " write " : " read ") + failed.path);
        testing_support::MemoryFileSystem memory;
        Prepare(memory);
        const auto before = memory.File(failed.path);
        Run(action, k, memory, messages);
        EXPECT_NE(std::find(messages.begin(), messages.end(), MessageFor(failed)), messages.end())
            << "messages shown: " << ::testing::PrintToString(messages);
        EXPECT_EQ(memory.File(failed.path), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, FileFaultTest,
    ::testing::Values(
        Action{"StartUp", [](Rig&) {}, true},
        Action{"Calibrate", [](Rig& rig) { rig.dialog.OnCommand(platform::IDC_CALIBRATE); }},
        Action{"SaveLimits",
               [](Rig& rig) {
                   rig.window.ChooseNext(LIMITS_FILE);
                   rig.dialog.OnCommand(platform::IDC_SAVE_LIMITS);
               }},
        Action{"LoadLimits",
               [](Rig& rig) {
                   rig.window.ChooseNext(LIMITS_FILE);
                   rig.dialog.OnCommand(platform::IDC_LOAD_LIMITS);
               }},
        Action{"SaveStatistics",
               [](Rig& rig) {
                   rig.window.ChooseNext(REPORT_FILE);
                   rig.dialog.OnCommand(platform::IDC_SAVE_STATISTICS);
               }}),
    [](const ::testing::TestParamInfo<Action>& info) { return info.param.name; });

// A failed read of a limits file leaves the limits the window holds.
TEST(FileFaults, FailedLimitsReadKeepsTheLimitsInForce) {
    testing_support::MemoryFileSystem memory;
    memory.SetFile(CALIBRATION, CalibrationBytes(2.0f, {0, 100, 150, 200, 250, 300, 350, 400}));
    memory.SetFile(LIMITS_FILE, LimitsBytes({10, 20, 30, 40, 50, 60, 70, 80}));
    Rig rig(memory);
    rig.dialog.InitializeWindow();
    memory.FailNextReads(1);
    rig.window.ChooseNext(LIMITS_FILE);
    rig.dialog.OnCommand(platform::IDC_LOAD_LIMITS);
    EXPECT_EQ(rig.dialog.Values().lineLimits, (std::array<std::int16_t, 8>{0, 100, 150, 200, 250, 300, 350, 400}));
    EXPECT_EQ(rig.window.texts[platform::IDC_LIMIT_1 + 0], "0");
    EXPECT_FALSE(rig.scale->LimitsReceived());
}

// ---- the real file system -------------------------------------------------------

class RealFileFaults : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("quelmar-faults-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        const char* previous = std::getenv("QUELMAR_DRIVE_C");
        if (previous != nullptr) previous_ = previous;
        ::setenv("QUELMAR_DRIVE_C", root_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_, ec))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root_, ec);
        if (previous_)
            ::setenv("QUELMAR_DRIVE_C", previous_->c_str(), 1);
        else
            ::unsetenv("QUELMAR_DRIVE_C");
    }
    std::filesystem::path Velsor() const { return root_ / "velsor"; }
    static void Write(const std::filesystem::path& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void MakeReadOnly(const std::filesystem::path& path) {
        std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                               std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
    }

    std::filesystem::path root_;
    std::optional<std::string> previous_;
};

TEST_F(RealFileFaults, MissingFolderIsReportedAtStartUpAndByCalibrationAndNeverCreated) {
    Rig rig(storage::RealFileSystem());
    rig.dialog.InitializeWindow();
    EXPECT_EQ(rig.window.MessageTexts().back(), MISSING_CALIBRATION);
    rig.dialog.OnCommand(platform::IDC_CALIBRATE);
    const auto messages = rig.window.MessageTexts();
    EXPECT_NE(std::find(messages.begin(), messages.end(), CALIBRATION_NOT_SAVED), messages.end())
        << ::testing::PrintToString(messages);
    // The new factor is in force for the run all the same.
    EXPECT_FLOAT_EQ(rig.program.calibrationFactor, 2.0f);
    EXPECT_FALSE(std::filesystem::exists(Velsor()));

    rig.window.ChooseNext(REPORT_FILE);
    rig.dialog.OnCommand(platform::IDC_SAVE_STATISTICS);
    EXPECT_EQ(rig.window.MessageTexts().back(), REPORT_NOT_SAVED);
    EXPECT_FALSE(std::filesystem::exists(Velsor()));
}

TEST_F(RealFileFaults, ReadOnlyCalibrationFileIsReportedAndKept) {
    std::filesystem::create_directories(Velsor());
    const Bytes before = CalibrationBytes(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
    Write(Velsor() / "usb.ini", before);
    MakeReadOnly(Velsor() / "usb.ini");

    Rig rig(storage::RealFileSystem());
    rig.dialog.InitializeWindow();
    ASSERT_TRUE(rig.window.IsControlEnabled(platform::IDC_SAVE_LIMITS));
    rig.window.ChooseNext(LIMITS_FILE);
    rig.dialog.OnCommand(platform::IDC_SAVE_LIMITS);
    EXPECT_EQ(rig.window.MessageTexts().back(), CALIBRATION_NOT_SAVED);
    EXPECT_EQ(Read(Velsor() / "usb.ini"), before);
    // The limits file and the scale got the limits before that.
    EXPECT_EQ(Read(Velsor() / "turno.lim"), LimitsBytes({0, 100, 150, 200, 250, 300, 350, 400}));
    EXPECT_TRUE(rig.scale->LimitsReceived());
    // No temporary left beside the files.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Velsor())) ++entries;
    EXPECT_EQ(entries, 2u);
}

}  // namespace
