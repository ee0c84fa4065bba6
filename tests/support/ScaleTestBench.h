// The whole program below the front-end, on the emulated kernel with a
// virtual clock: the global objects in their order, the link, an in-memory
// file system, the recording window services and the main window's logic.
#pragma once

#include <memory>

#include "platform/emulated/EmulatedKernel.h"
#include "platform/ControlIds.h"
#include "scale/ScaleLink.h"
#include "tests/support/ScriptedDevice.h"
#include "sim/SimulatedScale.h"
#include "sim/UsbioDriver.h"
#include "storage/CalibrationFile.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/FakeWindowServices.h"
#include "ui/quelmarDlg.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbPipe.h"

namespace testing_support {

class ScaleTestBench {
public:
    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};

    usbio::UsbDevice device;
    usbio::UsbPipe readPipe;
    usbio::UsbPipe writePipe;
    usbio::UsbBuffer statusBuffer{8};
    usbio::UsbBuffer commandBuffer{16};
    scale::ScaleLink link{device, readPipe, writePipe, statusBuffer, commandBuffer};

    testing_support::MemoryFileSystem files;
    FakeWindowServices window;
    scale::ProgramValues program;
    ui::MainDialog dialog{window, link, files, program};

    // Plugs in a device the test scripts by hand (the scale's identity by
    // default) and returns it.
    sim::ScriptedDevice& AttachScripted(std::uint16_t vendor = 0x0C70, std::uint16_t product = 0x0000) {
        auto model = std::make_shared<sim::ScriptedDevice>(vendor, product);
        auto driver = std::make_shared<sim::UsbioDriver>(model);
        drivers_.push_back(driver);
        kernel.AttachDevice(driver);
        return *model;
    }

    // Plugs in the simulated scale.
    sim::SimulatedScale& AttachSimulated(const sim::SimulatedScaleOptions& options = {}) {
        auto model = std::make_shared<sim::SimulatedScale>(options);
        auto driver = std::make_shared<sim::UsbioDriver>(model);
        drivers_.push_back(driver);
        kernel.AttachDevice(driver);
        return *model;
    }

    sim::UsbioDriver& Driver(std::size_t instance) { return *drivers_.at(instance); }

    // Stores a calibration file the start-up will read.
    void StoreCalibration(float factor, const std::array<std::int16_t, 8>& limits) {
        storage::CalibrationData data{factor, limits};
        const auto bytes = storage::EncodeCalibration(data);
        files.SetFile(storage::CALIBRATION_FILE_PATH, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }

    // Runs the window's start-up (every box answered OK unless scripted).
    void StartUp() { dialog.InitializeWindow(); }

    // Presses a button as the operator would (disabled buttons do nothing).
    void Press(int id) { dialog.OnCommand(id); }

    // The operator types into a limit or reference field.
    void Type(int id, std::string_view text) {
        window.Type(id, text);
        dialog.OnEditChange(id);
    }

    // One timer period passes and the window handles the tick.
    void Tick(int timer) {
        clock.Advance(100'000);
        dialog.OnTimer(timer);
    }

private:
    std::vector<std::shared_ptr<sim::UsbioDriver>> drivers_;
};

}  // namespace testing_support
