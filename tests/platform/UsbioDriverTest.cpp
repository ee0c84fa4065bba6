// The emulated driver as the kernel's callers see it: raw requests on
// handles, refused as the real driver refuses them. What the driver access
// layer makes of its answers is tests/usbio.
#include <gtest/gtest.h>

#include "platform/emulated/EmulatedKernel.h"
#include "sim/UsbioDriver.h"
#include "tests/support/ScriptedDevice.h"

using namespace platform;
using namespace platform::emulated;

namespace {

class DriverTest : public ::testing::Test {
protected:
    DriverTest() {
        kernel.AttachDevice(std::make_shared<sim::UsbioDriver>(model));
        overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    }
    HANDLE Open() {
        return kernel.CreateFileA("\\\\.\\USBIO_Device0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    }
    // A control request waited for; 0 or the error.
    DWORD Control(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0,
                  DWORD* returned = nullptr) {
        DWORD count = 0;
        const bool done =
            kernel.DeviceIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, &count, &overlapped);
        if (returned != nullptr) *returned = count;
        return done ? 0 : kernel.GetLastError();
    }
    DWORD Configure(HANDLE h) {
        std::uint8_t request[260] = {};
        request[2] = 1;  // one interface: number 0, alternate 0
        request[8] = 0x10;
        request[9] = 1;  // maximum transfer size 0x110
        return Control(h, sim::IOCTL_SET_CONFIGURATION, request, sizeof request);
    }
    DWORD Bind(HANDLE h, std::uint8_t endpoint) { return Control(h, sim::IOCTL_BIND_PIPE, &endpoint, 1); }
    // A transfer's start: 0 when it completed at once, else the error.
    DWORD Start(HANDLE h, bool read) {
        std::uint8_t data[8] = {};
        const bool done = read ? kernel.ReadFile(h, data, 8, nullptr, &overlapped)
                               : kernel.WriteFile(h, data, 8, nullptr, &overlapped);
        return done ? 0 : kernel.GetLastError();
    }

    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<sim::ScriptedDevice> model = std::make_shared<sim::ScriptedDevice>(0x0C70, 0x0001);
    OVERLAPPED overlapped{};
};

TEST_F(DriverTest, EveryRecordTheDriverReadsMustHaveItsExactSizeAndRepliesAreCutToTheCallersArea) {
    struct Case {
        const char* name;
        DWORD code;
        DWORD inputSize;   // the record's own size
        DWORD outputSize;  // the area the request needs
    };
    std::uint8_t input[300] = {};
    input[0] = 0x81;  // the endpoint, for the bind
    input[4] = 1;     // the device descriptor, for the descriptor request
    std::uint8_t output[64] = {};
    for (const Case& c :
         {Case{"SetConfiguration", sim::IOCTL_SET_CONFIGURATION, 260, 0},
          Case{"GetDescriptor", sim::IOCTL_GET_DESCRIPTOR, 8, 18}, Case{"Bind", sim::IOCTL_BIND_PIPE, 1, 0}}) {
        SCOPED_TRACE(c.name);
        HANDLE h = Open();
        ASSERT_EQ(Configure(Open()), 0u);
        for (const DWORD size : {c.inputSize - 1, c.inputSize + 1, DWORD{0}})
            EXPECT_EQ(Control(h, c.code, input, size, output, c.outputSize), sim::DRIVER_INVALID_PARAMETER) << size;
        EXPECT_EQ(Control(h, c.code, input, c.inputSize, output, c.outputSize), 0u);
    }
    EXPECT_EQ(model->LastConfiguration().at(0).maximumTransferSize, 0x110u);
    // The driver's information needs its whole 12 bytes.
    EXPECT_EQ(Control(Open(), sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, output, 11), sim::DRIVER_OUTPUT_BUFFER_TOO_SMALL);
    EXPECT_EQ(Control(Open(), sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, output, 12), 0u);
    DWORD returned = 0;
    EXPECT_EQ(Control(Open(), sim::IOCTL_GET_DESCRIPTOR, input, 8, output, 12, &returned), 0u);
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ((std::array<int, 3>{output[8], output[9], output[10]}), (std::array<int, 3>{0x70, 0x0C, 0x01}));
}

TEST_F(DriverTest, BindNeedsAConfigurationAnEndpointAndAFreeHandleAndTransfersTheBoundDirection) {
    HANDLE in = Open();
    HANDLE out = Open();
    model->SetConfigurationStatus(0xE000101D);
    EXPECT_EQ(Configure(in), 0xE000101Du) << "refused with the device's status";
    EXPECT_EQ(Bind(in, 0x81), sim::DRIVER_NOT_CONFIGURED);
    model->SetConfigurationStatus(0);
    ASSERT_EQ(Configure(in), 0u);
    EXPECT_EQ(Bind(in, 0x83), sim::DRIVER_PIPE_NOT_FOUND);
    EXPECT_EQ(Start(in, true), sim::DRIVER_NOT_BOUND);
    EXPECT_EQ(Bind(in, 0x81), 0u);
    EXPECT_EQ(Bind(in, 0x02), sim::DRIVER_PIPE_ALREADY_BOUND);
    ASSERT_EQ(Bind(out, 0x02), 0u);
    EXPECT_EQ(Start(in, false), sim::DRIVER_INVALID_DIRECTION);
    EXPECT_EQ(Start(out, true), sim::DRIVER_INVALID_DIRECTION);
    // Unplugged: everything fails with "Device is removed.".
    model->Unplug();
    EXPECT_EQ(Start(in, true), sim::DRIVER_DEVICE_REMOVED);
    std::uint8_t info[12] = {};
    EXPECT_EQ(Control(in, sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, info, 12), sim::DRIVER_DEVICE_REMOVED);
}

}  // namespace
