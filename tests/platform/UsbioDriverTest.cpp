// The emulated driver as the kernel's callers see it: raw requests on
// handles, failures reported as the real driver reports them.
#include <gtest/gtest.h>

#include "platform/emulated/EmulatedKernel.h"
#include "tests/support/ScriptedDevice.h"
#include "sim/UsbioDriver.h"

using namespace platform;
using namespace platform::emulated;

namespace {

class DriverTest : public ::testing::Test {
protected:
    DriverTest() {
        model = std::make_shared<sim::ScriptedDevice>();
        driver = std::make_shared<sim::UsbioDriver>(model);
        kernel.AttachDevice(driver);
        overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    }
    ~DriverTest() override {
        for (HANDLE h : handles) kernel.CloseHandle(h);
        kernel.CloseHandle(overlapped.hEvent);
    }

    HANDLE Open() {
        HANDLE h = kernel.CreateFileA("\\\\.\\USBIO_Device0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        handles.push_back(h);
        return h;
    }
    // A control request waited for; returns 0 or the error.
    DWORD Control(HANDLE h, DWORD code, const void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0,
                  DWORD* returned = nullptr) {
        DWORD count = 0;
        const bool done = kernel.DeviceIoControl(h, code, const_cast<void*>(in), inSize, out, outSize, &count, &overlapped);
        if (returned) *returned = count;
        return done ? 0 : kernel.GetLastError();
    }
    DWORD Configure(HANDLE h) {
        std::uint8_t request[260] = {};
        request[2] = 1;   // one interface: number 0, alternate 0
        request[8] = 16;  // maximum transfer size
        return Control(h, sim::IOCTL_SET_CONFIGURATION, request, sizeof request);
    }
    DWORD Bind(HANDLE h, std::uint8_t endpoint) { return Control(h, sim::IOCTL_BIND_PIPE, &endpoint, 1); }

    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<sim::ScriptedDevice> model;
    std::shared_ptr<sim::UsbioDriver> driver;
    OVERLAPPED overlapped{};
    std::vector<HANDLE> handles;
};

// The interface version the model reports, and the driver's refusals that
// the device and pipe objects pass through, are also seen in tests/usbio.
TEST_F(DriverTest, ReportsTheModelsDescriptorAndRefusesTooSmallAnArea) {
    HANDLE h = Open();
    std::uint8_t info[12] = {};
    DWORD returned = 0;
    EXPECT_EQ(Control(h, sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, info, 4), sim::DRIVER_OUTPUT_BUFFER_TOO_SMALL);

    model->SetIds(0x0C70, 0x0001);
    const std::uint8_t request[8] = {0, 0, 0, 0, 1, 0, 0, 0};
    std::uint8_t descriptor[18] = {};
    EXPECT_EQ(Control(h, sim::IOCTL_GET_DESCRIPTOR, request, 8, descriptor, 12, &returned), 0u);
    EXPECT_EQ(returned, 12u);  // cut to the caller's size
    EXPECT_EQ((std::array<int, 4>{descriptor[8], descriptor[9], descriptor[10], descriptor[12]}),
              (std::array<int, 4>{0x70, 0x0C, 0x01, 0}));
}

TEST_F(DriverTest, EveryRecordTheDriverReadsMustHaveItsExactSize) {
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
    for (const Case& c : {Case{"SetConfiguration", sim::IOCTL_SET_CONFIGURATION, 260, 0},
                          Case{"GetDescriptor", sim::IOCTL_GET_DESCRIPTOR, 8, 18},
                          Case{"Bind", sim::IOCTL_BIND_PIPE, 1, 0}}) {
        SCOPED_TRACE(c.name);
        HANDLE h = Open();
        ASSERT_EQ(Configure(Open()), 0u);
        for (const DWORD size : {c.inputSize - 1, c.inputSize + 1, DWORD{0}})
            EXPECT_EQ(Control(h, c.code, input, size, output, c.outputSize), sim::DRIVER_INVALID_PARAMETER) << size;
        EXPECT_EQ(Control(h, c.code, input, c.inputSize, output, c.outputSize), 0u);
    }
    // The driver's information needs its whole 12 bytes.
    EXPECT_EQ(Control(Open(), sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, output, 11), sim::DRIVER_OUTPUT_BUFFER_TOO_SMALL);
    EXPECT_EQ(Control(Open(), sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, output, 12), 0u);
}

TEST_F(DriverTest, BindNeedsAConfigurationAnEndpointAndAFreeHandle) {
    HANDLE h = Open();
    EXPECT_EQ(Bind(h, 0x81), sim::DRIVER_NOT_CONFIGURED);
    EXPECT_EQ(Configure(h), 0u);
    ASSERT_EQ(model->LastConfiguration().size(), 1u);
    EXPECT_EQ(model->LastConfiguration()[0].maximumTransferSize, 16u);
    EXPECT_EQ(Bind(h, 0x83), sim::DRIVER_PIPE_NOT_FOUND);
    EXPECT_EQ(Bind(h, 0x81), 0u);
    EXPECT_EQ(Bind(h, 0x02), sim::DRIVER_PIPE_ALREADY_BOUND);
    model->SetConfigurationStatus(0xE000101D);
    EXPECT_EQ(Configure(Open()), 0xE000101Du);
}

TEST_F(DriverTest, TransfersNeedABoundHandleInTheRightDirection) {
    HANDLE control = Open();
    ASSERT_EQ(Configure(control), 0u);
    HANDLE in = Open();
    HANDLE out = Open();
    std::uint8_t data[8] = {};
    EXPECT_FALSE(kernel.ReadFile(in, data, 8, nullptr, &overlapped));
    EXPECT_EQ(kernel.GetLastError(), sim::DRIVER_NOT_BOUND);
    ASSERT_EQ(Bind(in, 0x81), 0u);
    ASSERT_EQ(Bind(out, 0x02), 0u);
    EXPECT_FALSE(kernel.WriteFile(in, data, 8, nullptr, &overlapped));
    EXPECT_EQ(kernel.GetLastError(), sim::DRIVER_INVALID_DIRECTION);

    // A read with a packet waiting completes at once with the packet's size.
    model->QueuePacket({2, 95, 0, 4});
    DWORD count = 0;
    EXPECT_TRUE(kernel.ReadFile(in, data, 8, &count, &overlapped));
    EXPECT_EQ(count, 4u);

    // Unplugged: everything fails with "Device is removed.".
    model->Unplug();
    EXPECT_FALSE(kernel.ReadFile(in, data, 8, nullptr, &overlapped));
    EXPECT_EQ(kernel.GetLastError(), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(Control(control, sim::IOCTL_GET_DRIVER_INFO, nullptr, 0, data, 12), sim::DRIVER_DEVICE_REMOVED);
}

TEST_F(DriverTest, OtherRequestsAreRecordedAndAnsweredFromTheScript) {
    HANDLE h = Open();
    const std::uint8_t input[6] = {1, 2, 3, 4, 5, 6};
    std::uint8_t output[4] = {};
    DWORD returned = 0;
    EXPECT_EQ(Control(h, 0x80942014, input, sizeof input, output, sizeof output, &returned), 0u);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(output[0], 0xA0);
    EXPECT_EQ(output[3], 0xA3);
    driver->SetControlAnswer(0x80942058, sim::ControlAnswer{0xE0000300, {9, 8}});
    EXPECT_EQ(Control(h, 0x80942058, nullptr, 0, output, sizeof output, &returned), 0xE0000300u);
    EXPECT_EQ(returned, 2u);
    ASSERT_EQ(driver->ControlLog().size(), 2u);
    EXPECT_EQ(driver->ControlLog()[0].code, 0x80942014u);
    EXPECT_EQ(driver->ControlLog()[0].input, std::vector<std::uint8_t>(input, input + 6));
    EXPECT_EQ(driver->ControlLog()[1].outputSize, 4u);
}

}  // namespace
