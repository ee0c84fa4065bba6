// The program below the front-end on the emulated kernel, a virtual clock, in-memory files and a recording window.
#pragma once

#include <memory>

#include "platform/emulated/EmulatedKernel.h"
#include "ui/ControlIds.h"
#include "scale/ScaleLink.h"
#include "tests/support/ScriptedDevice.h"
#include "sim/ScalePlug.h"
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
    storage::MemoryShiftStore shift;
    ui::MainDialog dialog{window, link, files, shift, program};

    // Plugs in a device the test scripts by hand (by default as the scale).
    sim::ScriptedDevice& AttachScripted(std::uint16_t vendor = 0x0C70, std::uint16_t product = 0x0000) {
        return Attach(std::make_shared<sim::ScriptedDevice>(vendor, product));
    }
    sim::SimulatedScale& AttachSimulated(const sim::SimulatedScaleOptions& options = {}) {
        return Attach(std::make_shared<sim::SimulatedScale>(options));
    }
    sim::UsbioDriver& Driver(std::size_t instance) { return *drivers_.at(instance); }
    // The simulated scale on a port that can be pulled out and plugged in again.
    sim::ScalePlug& PlugSimulated(const sim::SimulatedScaleOptions& options = {}) {
        return plug_.emplace(kernel, std::make_shared<sim::SimulatedScale>(options));
    }

    void StoreCalibration(float factor, const std::array<std::int16_t, 8>& limits) {
        const auto bytes = storage::EncodeCalibration(storage::CalibrationData{factor, limits});
        files.SetFile(storage::CALIBRATION_FILE_PATH, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }

    // The operator's acts (boxes answered OK unless scripted; disabled buttons do nothing).
    void StartUp() { dialog.InitializeWindow(); }
    void Press(int id) { dialog.OnCommand(id); }
    void Type(int id, std::string_view text) {
        window.Type(id, text);
        dialog.OnEditChange(id);
    }
    void Tick(int timer) {
        clock.Advance(100'000);
        dialog.OnTimer(timer);
    }

private:
    template <typename Model>
    Model& Attach(std::shared_ptr<Model> model) {
        drivers_.push_back(std::make_shared<sim::UsbioDriver>(model));
        kernel.AttachDevice(drivers_.back());
        return *model;
    }
    std::vector<std::shared_ptr<sim::UsbioDriver>> drivers_;
    std::optional<sim::ScalePlug> plug_;
};

}  // namespace testing_support
