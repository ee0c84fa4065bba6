// The program below the front-end on a ready device, in work mode, counting
// into the SQLite store of a database in a folder of its own: what the shift
// store's benchmarks and the tick timing drive.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "bench/ReadyDevice.h"
#include "platform/emulated/EmulatedKernel.h"
#include "scale/ScaleLink.h"
#include "sim/UsbioDriver.h"
#include "storage/CalibrationFile.h"
#include "storage/ShiftStore.h"
#include "tests/support/FakeWindowServices.h"
#include "tests/support/MemoryFileSystem.h"
#include "ui/ControlIds.h"
#include "ui/quelmarDlg.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbPipe.h"

namespace bench {

// A folder of its own under the temporary one, gone afterwards.
struct TemporaryFolder {
    TemporaryFolder() {
        path /= "quelmar-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        std::filesystem::create_directories(path);
    }
    ~TemporaryFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    std::string Database() const { return (path / "estadisticas.db").string(); }
    std::filesystem::path path = std::filesystem::temp_directory_path();
};

struct ShiftRig {
    explicit ShiftRig(const std::string& database) : shift(storage::OpenShiftStore(database)) {
        kernel.AttachDevice(
            std::make_shared<sim::UsbioDriver>(std::make_shared<ReadyDevice>(ReadyDevice::Mode::Always)));
        const auto bytes = storage::EncodeCalibration({2.0f, {0, 100, 150, 200, 250, 300, 350, 400}});
        files.SetFile(storage::CALIBRATION_FILE_PATH, {bytes.begin(), bytes.end()});
        dialog.InitializeWindow();
        dialog.OnCommand(ui::IDC_START_WORK);
    }
    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};
    usbio::UsbDevice device;
    usbio::UsbPipe readPipe, writePipe;
    usbio::UsbBuffer statusBuffer{8}, commandBuffer{16};
    scale::ScaleLink link{device, readPipe, writePipe, statusBuffer, commandBuffer};
    testing_support::MemoryFileSystem files;
    testing_support::FakeWindowServices window;
    scale::ProgramValues program;
    std::unique_ptr<storage::ShiftStore> shift;
    ui::MainDialog dialog{window, link, files, *shift, program};
};

}  // namespace bench
