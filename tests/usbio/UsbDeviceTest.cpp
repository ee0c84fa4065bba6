// The device object: opening by name and through the device list, the
// interface-version check, the synchronous request routine, descriptors,
// closing, and what Open leaves behind when the platform fails it.
#include <cstring>
#include <string>
#include <type_traits>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;

static_assert(!std::is_copy_constructible_v<UsbDevice> && !std::is_copy_assignable_v<UsbDevice>);
static_assert(!std::is_copy_constructible_v<UsbPipe> && !std::is_copy_assignable_v<UsbPipe>);
static_assert(!std::is_copy_constructible_v<UsbBuffer> && !std::is_copy_assignable_v<UsbBuffer>);

std::uint16_t ProductOf(UsbDevice& device) {
    std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE] = {};
    EXPECT_EQ(device.GetDeviceDescriptor(descriptor), USB_STATUS_SUCCESS);
    return static_cast<std::uint16_t>(descriptor[10] | (descriptor[11] << 8));
}

class UsbDeviceOpenTest : public UsbioTest {
protected:
    void SetUp() override {
        Attach(0x0C70, 0x0000);
        Attach(0x0C70, 0x0001);
    }
};

TEST_F(UsbDeviceOpenTest, ByNameOpensTheNumberedInstanceWithoutADevicePath) {
    UsbDevice device;
    ASSERT_EQ(device.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(ProductOf(device), 0x0001);
    EXPECT_EQ(device.DevicePath(), nullptr);
}

TEST_F(UsbDeviceOpenTest, ThroughTheListOpensTheIndexedInterfaceAndKeepsItsPath) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    ASSERT_NE(list, nullptr);
    UsbDevice device;
    ASSERT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0001);
    ASSERT_NE(device.DevicePath(), nullptr);
    const std::string path = device.DevicePath();
    EXPECT_NE(path.find("vid_0c70&pid_0001"), std::string::npos) << path;
    EXPECT_NE(path.find("325ddf96-938c-11d3-9e34-0080c82727f4"), std::string::npos) << path;

    device.Close();
    EXPECT_EQ(device.DevicePath(), nullptr);
    UsbDevice::DestroyDeviceList(list);
    EXPECT_EQ(kernel.ListCount(), 0u);
}

TEST_F(UsbDeviceOpenTest, ListRefusalsLeaveTheObjectClosed) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    UsbDevice device;
    EXPECT_EQ(device.Open(2, list, &DRIVER_CLASS), USB_STATUS_NO_SUCH_INSTANCE);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Open(0, list, nullptr), USB_STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceOpenTest, ADeviceDetachedAfterTheListWasMadeIsNotFound) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    kernel.DetachDevice(1);
    UsbDevice device;
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.IsOpen());
    // The record stays held and names the device that did not open.
    ASSERT_NE(device.DevicePath(), nullptr);
    EXPECT_NE(std::string(device.DevicePath()).find("pid_0001"), std::string::npos);
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceOpenTest, AnUnknownNameIsNotFound) {
    UsbDevice device;
    EXPECT_EQ(device.Open(7, nullptr, nullptr), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(UsbDeviceOpenTest, OpenOnAnOpenObjectKeepsTheEarlierInstance) {
    UsbDevice device;
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    EXPECT_EQ(device.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(9, list, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0000);
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);
    EXPECT_EQ(device.DevicePath(), nullptr);
    UsbDevice::DestroyDeviceList(list);
}

class UsbDeviceVersionTest : public UsbioTest, public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(UsbDeviceVersionTest, AnyOtherInterfaceVersionIsRefusedAndLeavesTheObjectClosed) {
    Attach().SetInterfaceVersion(GetParam());
    UsbDevice device;
    EXPECT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_VERSION_MISMATCH);
    EXPECT_FALSE(device.IsOpen());
    std::uint32_t count = 0xDEAD;
    EXPECT_EQ(device.IoControl(0x80942054, nullptr, 0, nullptr, 0, &count), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(count, 0xDEADu);
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(NeighbourVersions, UsbDeviceVersionTest, ::testing::Values(0x0140, 0x0142, 0x0000));

TEST_F(UsbioTest, OnlyInterfaceVersion0141Opens) {
    Attach().SetInterfaceVersion(0x0141);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
}

// ---- the request routine ----------------------------------------------------

class UsbDeviceIoControlTest : public UsbioTest {
protected:
    void SetUp() override { Attach(); }
    UsbDevice device;
};

TEST_F(UsbDeviceIoControlTest, AClosedObjectRefusesAndLeavesTheCountAlone) {
    std::uint32_t count = 0x5555;
    std::uint8_t output[4] = {};
    EXPECT_EQ(device.IoControl(0x80942058, nullptr, 0, output, sizeof output, &count), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(count, 0x5555u);
    EXPECT_TRUE(Driver().RequestLog().empty());
}

TEST_F(UsbDeviceIoControlTest, TheCountIsWrittenOnSuccessAndAfterARefusal) {
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    std::uint8_t output[8] = {};
    std::uint32_t count = 0x5555;
    EXPECT_EQ(device.IoControl(0x80942058, nullptr, 0, output, sizeof output, &count), USB_STATUS_SUCCESS);
    EXPECT_EQ(count, 8u);

    Driver().SetControlAnswer(0x80942058, {0xE0001018, {1, 2, 3}});
    count = 0x5555;
    EXPECT_EQ(device.IoControl(0x80942058, nullptr, 0, output, sizeof output, &count), 0xE0001018u);
    EXPECT_EQ(count, 3u);

    Driver().SetControlAnswer(0x80942058, {0xE0001000, {}});
    count = 0x5555;
    EXPECT_EQ(device.IoControl(0x80942058, nullptr, 0, output, sizeof output, &count), 0xE0001000u);
    EXPECT_EQ(count, 0u);
}

TEST_F(UsbDeviceIoControlTest, GetDescriptorReportsTheBytesDelivered) {
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    std::uint8_t buffer[64] = {};
    std::uint32_t size = 18;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_DEVICE, 0, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 18u);
    EXPECT_EQ(buffer[1], 1);

    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_CONFIGURATION, 0, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 32u);

    // A refused request still reports what was delivered: nothing.
    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, 7, 0, 0), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u);

    device.Close();
    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_DEVICE, 0, 0), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(size, sizeof buffer);
}

TEST_F(UsbDeviceIoControlTest, CloseMayBeCalledAnyNumberOfTimes) {
    UsbDevice never;
    never.Close();
    never.Close();
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    device.Close();
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(kernel.HandleCount(), 0u);
    // And it opens again afterwards.
    EXPECT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
}

TEST_F(UsbioTest, CloseAndDestructionReleaseEveryHandleAndEvent) {
    Attach();
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    {
        UsbDevice device;
        UsbPipe readPipe;
        UsbPipe writePipe;
        UsbBuffer buffer(8);
        OpenLink(device, readPipe, writePipe);
        ASSERT_EQ(UsbDevice().Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
        // Three device handles, their three events and the buffer's.
        EXPECT_EQ(kernel.DeviceHandleCount(), 3u);
        EXPECT_EQ(kernel.EventCount(), 4u);
        readPipe.Close();
        EXPECT_EQ(kernel.DeviceHandleCount(), 2u);
        EXPECT_EQ(kernel.EventCount(), 3u);
    }
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    EXPECT_EQ(kernel.EventCount(), 0u);
    UsbDevice::DestroyDeviceList(list);
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

// ---- platform failures inside Open ------------------------------------------

class UsbDeviceFaultTest : public UsbioTest {
protected:
    void SetUp() override { Attach(); }

    // Fails the n-th call (from 1) of `name` with `error`.
    void FailCall(const char* name, int nth, platform::DWORD error) {
        kernel.SetFaultHook([name, nth, error, seen = 0](const char* call) mutable -> platform::DWORD {
            if (std::strcmp(call, name) != 0) return 0;
            return ++seen == nth ? error : 0;
        });
    }
};

TEST_F(UsbDeviceFaultTest, AnEventThatCannotBeCreatedIsNoMemoryAndClosesTheObject) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    FailCall("CreateEventA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_NO_MEMORY);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DevicePath(), nullptr);  // released with the rest
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    kernel.SetFaultHook(nullptr);
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceFaultTest, ADetailRecordThatCannotBeFetchedReturnsTheSystemError) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    // The first call only asks for the size; the second fetches the record.
    FailCall("SetupDiGetDeviceInterfaceDetailA", 2, platform::ERROR_NOT_ENOUGH_MEMORY);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceFaultTest, NoSizeForTheDetailRecordIsRefusedWithoutOpeningAnything) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    FailCall("SetupDiGetDeviceInterfaceDetailA", 1, platform::ERROR_INVALID_PARAMETER);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DevicePath(), nullptr);
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceFaultTest, AnEnumerationErrorOtherThanTheEndIsPassedThrough) {
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    FailCall("SetupDiEnumDeviceInterfaces", 1, platform::ERROR_INVALID_HANDLE);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), platform::ERROR_INVALID_HANDLE);
    EXPECT_FALSE(device.IsOpen());
    UsbDevice::DestroyDeviceList(list);
}

TEST_F(UsbDeviceFaultTest, AFailedDriverInformationRequestClosesTheObjectWithItsStatus) {
    Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, sim::DRIVER_DEVICE_REMOVED);
    UsbDevice device;
    EXPECT_EQ(device.Open(0, nullptr, nullptr), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

TEST_F(UsbDeviceFaultTest, AListThatCannotBeBuiltIsNone) {
    FailCall("SetupDiGetClassDevsA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(UsbDevice::CreateDeviceList(&DRIVER_CLASS), nullptr);
    UsbDevice::DestroyDeviceList(nullptr);  // ignored
    EXPECT_EQ(kernel.ListCount(), 0u);
}

}  // namespace
}  // namespace usbio_test
