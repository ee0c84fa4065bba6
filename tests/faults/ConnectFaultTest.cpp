// Every system call of the connect sequence, failed in turn with a plausible
// error: the start-up ends in the box of the step the call belongs to, the
// steps come in their order, and nothing is left in the kernel or on the heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ControlIds.h"
#include "platform/DriverInterface.h"
#include "platform/emulated/EmulatedKernel.h"
#include "scale/ScaleLink.h"
#include "sim/SimulatedScale.h"
#include "sim/UsbioDriver.h"
#include "storage/CalibrationFile.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ConnectResults.h"
#include "tests/support/MemoryFileSystem.h"
#include "ui/quelmarDlg.h"

namespace {

using platform::DWORD;
using testing_support::Situation;

// The program's global objects and its main window, built after the kernel
// and destroyed before it, so that what they leave behind can be seen.
struct Program {
    usbio::UsbDevice device;
    usbio::UsbPipe readPipe;
    usbio::UsbPipe writePipe;
    usbio::UsbBuffer statusBuffer{scale::STATUS_PACKET_SIZE};
    usbio::UsbBuffer commandBuffer{scale::COMMAND_PACKET_SIZE};
    scale::ScaleLink link{device, readPipe, writePipe, statusBuffer, commandBuffer};
    testing_support::MemoryFileSystem files;
    testing_support::FakeWindowServices window;
    scale::ProgramValues program;
    ui::MainDialog dialog{window, link, files, program};

    Program() {
        const auto bytes = storage::EncodeCalibration(storage::CalibrationData{2.0f, {}});
        files.SetFile(storage::CALIBRATION_FILE_PATH, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
};

// What the platform would plausibly say when each call fails.
DWORD PlausibleError(const std::string& call) {
    if (call == "SetupDiGetClassDevsA" || call == "SetupDiGetDeviceInterfaceDetailA" || call == "CreateEventA")
        return platform::ERROR_NOT_ENOUGH_MEMORY;
    if (call == "SetupDiEnumDeviceInterfaces") return platform::ERROR_NO_MORE_ITEMS;  // unplugged meanwhile
    if (call == "CreateFileA") return 5;  // access denied: another program holds the device
    if (call == "CloseHandle" || call == "SetupDiDestroyDeviceInfoList") return platform::ERROR_INVALID_HANDLE;
    return 31;  // a device attached to the system is not functioning
}

TEST(ConnectFaultTest, EachFailedCallEndsInItsStepsBoxAndLeavesNothing) {
    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};
    const auto driver = std::make_shared<sim::UsbioDriver>(std::make_shared<sim::SimulatedScale>());
    kernel.AttachDevice(driver);
    // One whole start-up and exit first, its calls recorded: whatever the
    // kernel and the emulated driver keep for good is then in place.
    std::vector<std::string> calls;
    {
        Program p;
        kernel.SetFaultHook([&](const char* call) -> DWORD {
            calls.emplace_back(call);
            return 0;
        });
        p.dialog.InitializeWindow();
        kernel.SetFaultHook(nullptr);
        p.dialog.Exit();
    }
    EXPECT_GE(calls.size(), 20u);  // each step reaches the system
    const auto& rows = testing_support::ConnectRows();
    std::vector<Situation> steps;  // the row each failed call ended in, repeats folded
    steps.reserve(calls.size());
    // The driver's logs are cleared first: they are kept for good.
    const auto leftBehind = [&] {
        driver->ClearRequestLog();
        driver->ClearControlLog();
        return std::tuple(kernel.HandleCount(), kernel.EventCount(), kernel.DeviceHandleCount(),
                          kernel.PendingRequestCount() + kernel.ListCount(), testing_support::LiveAllocations());
    };
    for (std::size_t k = 1; k <= calls.size(); ++k) {
        SCOPED_TRACE("call " + std::to_string(k) + " " + calls[k - 1]);
        const auto before = leftBehind();  // what an earlier refused close left
        {
            Program p;
            const DWORD error = PlausibleError(calls[k - 1]);
            kernel.SetFaultHook([&, seen = std::size_t{0}](const char*) mutable { return ++seen == k ? error : 0; });
            p.dialog.InitializeWindow();
            kernel.SetFaultHook(nullptr);
            ASSERT_EQ(p.window.messages.size(), 1u);
            const auto row =
                std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.box == p.window.messages[0]; });
            ASSERT_NE(row, rows.end());
            testing_support::ExpectStartUp(*row, p.window);
            if (steps.empty() || steps.back() != row->situation) steps.push_back(row->situation);
            if (row->ends) {
                EXPECT_FALSE(p.device.IsOpen() || p.readPipe.IsOpen() || p.writePipe.IsOpen());
                EXPECT_EQ(p.link.DeviceList(), nullptr);
            } else {
                p.dialog.OnCommand(platform::IDC_EXIT);
            }
        }
        if (calls[k - 1] == "CloseHandle") {
            // The one handle the system refused to close is all that is left.
            EXPECT_EQ(kernel.HandleCount(), std::get<0>(before) + 1);
        } else {
            EXPECT_EQ(leftBehind(), before);
        }
    }
    // A candidate that the system refuses to close is not the link's concern.
    EXPECT_EQ(steps, (std::vector<Situation>{Situation::ListRefused, Situation::NoDevice, Situation::ForeignDevices,
                                             Situation::ScalesAfterForeign, Situation::OpenRefused,
                                             Situation::ConfigurationRefused, Situation::NoReadEndpoint,
                                             Situation::NoWriteEndpoint}));
}

}  // namespace
