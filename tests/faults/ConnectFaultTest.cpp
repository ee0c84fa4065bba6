// Every system call of the connect sequence, failed in turn with a plausible
// error: the message and result code of its step, the window ended through
// Exit, and nothing left in the kernel or on the heap afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DriverInterface.h"
#include "platform/emulated/EmulatedKernel.h"
#include "platform/ControlIds.h"
#include "scale/ScaleLink.h"
#include "sim/SimulatedScale.h"
#include "sim/UsbioDriver.h"
#include "storage/CalibrationFile.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/FakeWindowServices.h"
#include "ui/quelmarDlg.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbPipe.h"

namespace {

using platform::DWORD;

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
    if (call == "SetupDiGetClassDevsA") return platform::ERROR_NOT_ENOUGH_MEMORY;
    if (call == "SetupDiEnumDeviceInterfaces") return platform::ERROR_NO_MORE_ITEMS;  // unplugged meanwhile
    if (call == "SetupDiGetDeviceInterfaceDetailA") return platform::ERROR_NOT_ENOUGH_MEMORY;
    if (call == "CreateFileA") return 5;  // access denied: another program holds the device
    if (call == "CreateEventA") return platform::ERROR_NOT_ENOUGH_MEMORY;
    if (call == "CloseHandle" || call == "SetupDiDestroyDeviceInfoList") return platform::ERROR_INVALID_HANDLE;
    return 31;  // a device attached to the system is not functioning
}

// What start-up ends in when a call of a step fails.
struct Outcome {
    scale::FindResult find;      // FindScale's result
    scale::ConfigureResult configure;  // ConfigureScale's result (when FindScale gave 0)
    std::string message;     // the message box's text
    bool ends;               // the window ends through Exit
};

const Outcome LIST{scale::FindResult::NoList, scale::ConfigureResult::Ok, "No se pudo crear una lista de dispositivos", true};
const Outcome CANDIDATE_OPEN{scale::FindResult::NoDevice, scale::ConfigureResult::Ok, "No hay dispositivos USB conectados!", true};
const Outcome DESCRIPTOR{scale::FindResult::NotIdentified, scale::ConfigureResult::Ok, "Fallo el GetDescriptor", true};
// A handle the system refuses to close is not the link's concern.
const Outcome CANDIDATE_CLOSE{scale::FindResult::Ok, scale::ConfigureResult::Ok, "Dispositivo Encontrado y Configurado!", false};
const Outcome OPEN{scale::FindResult::Ok, scale::ConfigureResult::OpenFailed, "No se pudo abrir el dispositivo", true};
const Outcome CONFIGURATION{scale::FindResult::Ok, scale::ConfigureResult::ConfigurationFailed,
                            "No se pudo configurar el dispositivo", true};
const Outcome READ_PIPE{scale::FindResult::Ok, scale::ConfigureResult::ReadPipeFailed, "No se pudo bindear el pipe 0x81", true};
const Outcome WRITE_PIPE{scale::FindResult::Ok, scale::ConfigureResult::WritePipeFailed, "No se pudo bindear el pipe 0x02",
                         true};

struct Call {
    std::string name;
    const Outcome* outcome;
};

class ConnectFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver_ = std::make_shared<sim::UsbioDriver>(std::make_shared<sim::SimulatedScale>());
        kernel.AttachDevice(driver_);
        // One whole start-up and exit first: whatever the kernel and the
        // emulated driver keep for good (tables, logs) is then in place.
        {
            Program warmUp;
            warmUp.dialog.InitializeWindow();
            warmUp.dialog.Exit();
        }
        driver_->ClearRequestLog();
        driver_->ClearControlLog();
    }

    // The calls of the connect sequence, step by step, each with the outcome
    // its failure must have. Taken by running the steps of FindScale and
    // ConfigureScale one by one on the usbio objects; the test then checks
    // that the real start-up makes exactly these calls.
    std::vector<Call> ConnectCalls() {
        std::vector<Call> calls;
        const Outcome* step = nullptr;
        Program p;
        kernel.SetFaultHook([&](const char* call) -> DWORD {
            calls.push_back(Call{call, step});
            return 0;
        });
        const platform::GUID* const klass = &platform::DRIVER_INTERFACE_CLASS;
        step = &LIST;
        platform::HDEVINFO list = usbio::UsbDevice::CreateDeviceList(klass);
        usbio::UsbDevice candidate;
        step = &CANDIDATE_OPEN;
        EXPECT_EQ(candidate.Open(0, list, klass), 0u);
        step = &DESCRIPTOR;
        std::uint8_t descriptor[usbio::DEVICE_DESCRIPTOR_SIZE] = {};
        EXPECT_EQ(candidate.GetDeviceDescriptor(descriptor), 0u);
        step = &CANDIDATE_CLOSE;
        candidate.Close();
        step = &OPEN;
        EXPECT_EQ(p.device.Open(0, list, klass), 0u);
        step = &CONFIGURATION;
        usbio::ConfigurationRequest request;
        request.interfaceCount = 1;
        request.interfaces[0].maximumTransferSize = scale::COMMAND_PACKET_SIZE;
        EXPECT_EQ(p.device.SetConfiguration(request), 0u);
        step = &READ_PIPE;
        EXPECT_EQ(p.readPipe.Bind(0, scale::READ_ENDPOINT, list, klass), 0u);
        step = &WRITE_PIPE;
        EXPECT_EQ(p.writePipe.Bind(0, scale::WRITE_ENDPOINT, list, klass), 0u);
        kernel.SetFaultHook(nullptr);
        p.link.Close();
        usbio::UsbDevice::DestroyDeviceList(list);
        return calls;
    }

    // Installs a hook that fails call number `failing` (1-based) and counts.
    void FailCall(std::size_t failing, const std::string& name) {
        seen_ = 0;
        const DWORD error = PlausibleError(name);
        kernel.SetFaultHook([this, failing, error](const char*) -> DWORD { return ++seen_ == failing ? error : 0; });
    }

    platform::emulated::VirtualClock clock;
    platform::emulated::EmulatedKernel kernel{clock};
    platform::ScopedSys sys{kernel};
    std::shared_ptr<sim::UsbioDriver> driver_;
    std::size_t seen_ = 0;
};

TEST_F(ConnectFaultTest, StartUpMakesExactlyTheCallsOfItsSteps) {
    const std::vector<Call> calls = ConnectCalls();
    std::vector<std::string> startUp;
    {
        Program p;
        kernel.SetFaultHook([&](const char* call) -> DWORD {
            startUp.emplace_back(call);
            return 0;
        });
        p.dialog.InitializeWindow();
        kernel.SetFaultHook(nullptr);
        ASSERT_EQ(p.window.MessageTexts(), std::vector<std::string>{"Dispositivo Encontrado y Configurado!"});
    }
    ASSERT_EQ(startUp.size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(startUp[i], calls[i].name) << "call " << i + 1;
    // Each step reaches the system: nothing is decided without it.
    EXPECT_GE(calls.size(), 20u);
}

TEST_F(ConnectFaultTest, EachFailedCallGivesItsStepsMessageAndResultAndLeavesNothing) {
    const std::vector<Call> calls = ConnectCalls();
    for (std::size_t k = 1; k <= calls.size(); ++k) {
        const Call& call = calls[k - 1];
        const Outcome& expected = *call.outcome;
        SCOPED_TRACE("call " + std::to_string(k) + " " + call.name + " -> " + expected.message);
        driver_->ClearRequestLog();
        driver_->ClearControlLog();
        // Relative to what an earlier refused close left in the kernel.
        const std::size_t handles = kernel.HandleCount();
        const std::size_t events = kernel.EventCount();
        const std::size_t deviceHandles = kernel.DeviceHandleCount();
        const std::int64_t live = testing_support::LiveAllocations();
        {
            Program p;
            FailCall(k, call.name);
            p.dialog.InitializeWindow();
            ASSERT_EQ(p.window.messages.size(), 1u);
            const testing_support::MessageRecord& box = p.window.messages.front();
            EXPECT_EQ(box.text, expected.message);
            EXPECT_EQ(box.caption, "Quelmar");
            EXPECT_EQ(box.icon, expected.ends ? platform::MessageIcon::Stop : platform::MessageIcon::Information);
            if (expected.ends) {
                EXPECT_EQ(p.window.closed, platform::ModalResult::Ok);
                EXPECT_FALSE(p.device.IsOpen() || p.readPipe.IsOpen() || p.writePipe.IsOpen());
                EXPECT_EQ(p.link.DeviceList(), nullptr);
            } else {
                EXPECT_FALSE(p.window.closed.has_value());
                p.dialog.OnCommand(platform::IDC_EXIT);
                EXPECT_EQ(p.window.closed, platform::ModalResult::Ok);
            }
        }
        kernel.SetFaultHook(nullptr);
        EXPECT_EQ(kernel.PendingRequestCount(), 0u);
        EXPECT_EQ(kernel.ListCount(), 0u);
        if (call.name == "CloseHandle") {
            // The one handle the system refused to close is all that is left.
            EXPECT_EQ(kernel.HandleCount(), handles + 1);
        } else {
            EXPECT_EQ(kernel.HandleCount(), handles);
            EXPECT_EQ(kernel.EventCount(), events);
            EXPECT_EQ(kernel.DeviceHandleCount(), deviceHandles);
            driver_->ClearRequestLog();
            driver_->ClearControlLog();
            EXPECT_EQ(testing_support::LiveAllocations(), live);
        }
        {
            Program p;
            FailCall(k, call.name);
            const scale::FindResult find = p.link.FindScale();
            EXPECT_EQ(find, expected.find);
            if (find == scale::FindResult::Ok) {
                EXPECT_EQ(p.link.ConfigureScale(), expected.configure);
            }
            kernel.SetFaultHook(nullptr);
            p.link.Close();
        }
    }
}

}  // namespace
