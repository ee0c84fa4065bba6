// The emulated driver's raw requests, refused as the real driver refuses them; what usbio makes of them is tests/usbio.
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
    DWORD Error(BOOL done) { return done ? 0 : kernel.GetLastError(); }
    // A control request waited for: 0 or the error, the reply's size in `returned`.
    DWORD Control(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0) {
        return Error(
            kernel.DeviceIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, &returned, &overlapped));
    }
    DWORD Configure(HANDLE h) {
        // One interface (number 0, alternate 0), transfers of up to 0x110 bytes.
        const std::uint8_t request[260] = {0, 0, 1, 0, 0, 0, 0, 0, 0x10, 1};
        return Control(h, sim::IOCTL_USBIO_SET_CONFIGURATION, request, sizeof request);
    }
    DWORD Bind(HANDLE h, std::uint8_t endpoint) { return Control(h, sim::IOCTL_USBIO_BIND_PIPE, &endpoint, 1); }
    DWORD Start(HANDLE h, bool read) {
        return Error(read ? kernel.ReadFile(h, data, 8, nullptr, &overlapped)
                          : kernel.WriteFile(h, data, 8, nullptr, &overlapped));
    }

    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<sim::ScriptedDevice> model = std::make_shared<sim::ScriptedDevice>(0x0C70, 0x0001);
    OVERLAPPED overlapped{};
    DWORD returned = 0;
    std::uint8_t data[16] = {};  // a transfer's data, a reply
};

TEST_F(DriverTest, EveryRecordTheDriverReadsMustHaveItsExactSizeAndRepliesAreCutToTheCallersArea) {
    // The record's own size, and the area the request needs.
    // clang-format off
    const struct { const char* name; DWORD code, inputSize, outputSize; } cases[] = {
        {"SetConfiguration", sim::IOCTL_USBIO_SET_CONFIGURATION, 260, 0},
        {"GetDescriptor", sim::IOCTL_USBIO_GET_DESCRIPTOR, 8, 18},
        {"Bind", sim::IOCTL_USBIO_BIND_PIPE, 1, 0},
    };
    // clang-format on
    std::uint8_t input[300] = {0x81, 0, 0, 0, 1};  // the bind's endpoint; the device descriptor's type
    std::uint8_t output[64] = {};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE h = Open();
        ASSERT_EQ(Configure(Open()), 0u);
        for (const DWORD size : {c.inputSize - 1, c.inputSize + 1, DWORD{0}})
            EXPECT_EQ(Control(h, c.code, input, size, output, c.outputSize), sim::DRIVER_INVALID_PARAMETER) << size;
        EXPECT_EQ(Control(h, c.code, input, c.inputSize, output, c.outputSize), 0u);
    }
    EXPECT_EQ(model->LastConfiguration().at(0).maximumTransferSize, 0x110u);
    // The driver's information needs its whole 12 bytes.
    EXPECT_EQ(Control(Open(), sim::IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, output, 11),
              sim::DRIVER_OUTPUT_BUFFER_TOO_SMALL);
    EXPECT_EQ(Control(Open(), sim::IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, output, 12), 0u);
    EXPECT_EQ(Control(Open(), sim::IOCTL_USBIO_GET_DESCRIPTOR, input, 8, output, 12), 0u);
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ((std::array<int, 3>{output[8], output[9], output[10]}), (std::array<int, 3>{0x70, 0x0C, 0x01}));
}

TEST_F(DriverTest, BindNeedsAConfigurationAnEndpointAndAFreeHandleAndTransfersTheBoundDirectionUntilRemoved) {
    const HANDLE in = Open(), out = Open();
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
    // Pulled out with a read pending: the read ends with "Device is removed.", and so does everything after.
    ASSERT_EQ(Start(in, true), ERROR_IO_PENDING);
    kernel.DetachDevice(0);
    EXPECT_EQ(Error(kernel.GetOverlappedResult(in, &overlapped, &returned, TRUE_)), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(Start(in, true), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(Control(in, sim::IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, data, 12), sim::DRIVER_DEVICE_REMOVED);
}

}  // namespace
