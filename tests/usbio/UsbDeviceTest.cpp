// The device object: opening by name and through the device list, the
// interface-version check, the request routine, closing, and what Open
// leaves behind when the platform fails it.
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

class UsbDeviceTest : public UsbioTest {
protected:
    void SetUp() override {
        first = &Attach(0x0C70, 0x0000);
        Attach(0x0C70, 0x0001);
        list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        device.Close();
        UsbDevice::DestroyDeviceList(list);
        EXPECT_EQ(kernel.ListCount(), 0u);
    }
    sim::ScriptedDevice* first = nullptr;
    platform::HDEVINFO list = nullptr;
    UsbDevice device;
};

TEST_F(UsbDeviceTest, OpensByNameOrThroughTheListAndKeepsOnlyAListedPath) {
    ASSERT_EQ(device.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0001);
    EXPECT_EQ(device.DevicePath(), nullptr);
    device.Close();

    ASSERT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0001);
    ASSERT_NE(device.DevicePath(), nullptr);
    const std::string path = device.DevicePath();
    EXPECT_EQ(path.rfind("\\\\?\\usb#vid_0c70&pid_0001#", 0), 0u) << path;
    EXPECT_NE(path.find("325ddf96-938c-11d3-9e34-0080c82727f4"), std::string::npos) << path;
    device.Close();
    EXPECT_EQ(device.DevicePath(), nullptr);
}

TEST_F(UsbDeviceTest, RefusedOpensLeaveTheObjectClosed) {
    struct Case {
        const char* name;
        int index;
        bool listed;
        const platform::GUID* klass;
        UsbStatus expected;
    };
    for (const Case& c : {Case{"one past the last interface", 2, true, &DRIVER_CLASS, USB_STATUS_NO_SUCH_INSTANCE},
                          Case{"a list without a class", 0, true, nullptr, USB_STATUS_INVALID_PARAMETER},
                          Case{"a name nobody has", 7, false, nullptr, USB_STATUS_DEVICE_NOT_FOUND}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(device.Open(c.index, c.listed ? list : nullptr, c.klass), c.expected);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    }
    // Detached after the list was made: the path no longer opens, and the
    // record still names the device that did not open.
    kernel.DetachDevice(1);
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.IsOpen());
    ASSERT_NE(device.DevicePath(), nullptr);
    EXPECT_NE(std::string(device.DevicePath()).find("pid_0001"), std::string::npos);
}

TEST_F(UsbDeviceTest, AListHoldsOnlyTheDevicesPresentWhenItWasMade) {
    kernel.DetachDevice(0);
    platform::HDEVINFO present = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    ASSERT_NE(present, nullptr);
    ASSERT_EQ(device.Open(0, present, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0001);
    device.Close();
    EXPECT_EQ(device.Open(1, present, &DRIVER_CLASS), USB_STATUS_NO_SUCH_INSTANCE);
    UsbDevice::DestroyDeviceList(present);
}

TEST_F(UsbDeviceTest, OpenOnAnOpenObjectKeepsTheEarlierInstance) {
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(9, list, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(ProductOf(device), 0x0000);
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);
    EXPECT_EQ(device.DevicePath(), nullptr);
}

TEST_F(UsbDeviceTest, OnlyInterfaceVersion0141OpensAndARefusedObjectStaysClosed) {
    const std::size_t handles = kernel.HandleCount();
    for (const std::uint16_t version : {0x0140, 0x0142, 0x0000}) {
        SCOPED_TRACE(version);
        first->SetInterfaceVersion(version);
        EXPECT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_VERSION_MISMATCH);
        EXPECT_FALSE(device.IsOpen());
        std::uint32_t count = 0xDEAD;
        EXPECT_EQ(device.IoControl(IOCTL_USBIO_815, nullptr, 0, nullptr, 0, &count), USB_STATUS_NOT_OPEN);
        EXPECT_EQ(count, 0xDEADu);
        EXPECT_EQ(kernel.HandleCount(), handles);
    }
    first->SetInterfaceVersion(0x0141);
    EXPECT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
}

TEST_F(UsbDeviceTest, IoControlWritesTheByteCountOnlyWhenOpenAndAlsoAfterARefusal) {
    std::uint8_t output[8] = {};
    std::uint32_t count = 0x5555;
    EXPECT_EQ(device.IoControl(IOCTL_USBIO_816, nullptr, 0, output, sizeof output, &count), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(count, 0x5555u);
    EXPECT_TRUE(Driver().RequestLog().empty());

    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.IoControl(IOCTL_USBIO_816, nullptr, 0, output, sizeof output, &count), USB_STATUS_SUCCESS);
    EXPECT_EQ(count, 8u);
    Driver().SetControlAnswer(IOCTL_USBIO_816, {0xE0001018, {1, 2, 3}});
    EXPECT_EQ(device.IoControl(IOCTL_USBIO_816, nullptr, 0, output, sizeof output, &count), 0xE0001018u);
    EXPECT_EQ(count, 3u);
    Driver().SetControlAnswer(IOCTL_USBIO_816, {0xE0001000, {}});
    EXPECT_EQ(device.IoControl(IOCTL_USBIO_816, nullptr, 0, output, sizeof output, &count), 0xE0001000u);
    EXPECT_EQ(count, 0u);
}

TEST_F(UsbDeviceTest, GetDescriptorTakesTheBufferSizeAndReportsTheBytesDelivered) {
    ASSERT_EQ(device.Open(0, nullptr, nullptr), USB_STATUS_SUCCESS);
    std::uint8_t buffer[64] = {};
    std::uint32_t size = 18;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_DEVICE, 0, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 18u);
    EXPECT_EQ(buffer[1], 1);
    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_CONFIGURATION, 0, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 32u);
    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, 7, 0, 0), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u);
    device.Close();
    size = sizeof buffer;
    EXPECT_EQ(device.GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_DEVICE, 0, 0), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(size, sizeof buffer);
}

TEST_F(UsbDeviceTest, CloseTwiceAndDestructionReleaseEveryHandleAndEvent) {
    UsbDevice().Close();
    {
        UsbDevice linked;
        UsbPipe readPipe;
        UsbPipe writePipe;
        UsbBuffer buffer(8);
        OpenLink(linked, readPipe, writePipe);
        ASSERT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
        // Four device handles, their four events and the buffer's, every
        // one of them auto-reset.
        EXPECT_EQ(kernel.DeviceHandleCount(), 4u);
        EXPECT_EQ(kernel.EventCount(), 5u);
        EXPECT_EQ(kernel.ManualResetEventCount(), 0u);
        device.Close();
        device.Close();
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(kernel.DeviceHandleCount(), 3u);
        EXPECT_EQ(kernel.EventCount(), 4u);
    }
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
    EXPECT_EQ(kernel.EventCount(), 0u);
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS) << "opens again after closing";
}

TEST_F(UsbDeviceTest, APlatformFailureInsideOpenIsReportedAndLeavesNothingOpen) {
    struct Case {
        const char* call;
        int nth;
        platform::DWORD error;
        UsbStatus expected;
    };
    // The first detail call asks for the size only: with no size, Open
    // refuses before allocating the record.
    for (const Case& c : {Case{"CreateEventA", 1, platform::ERROR_NOT_ENOUGH_MEMORY, USB_STATUS_NO_MEMORY},
                          Case{"SetupDiGetDeviceInterfaceDetailA", 1, platform::ERROR_INVALID_PARAMETER,
                               USB_STATUS_DEVICE_NOT_FOUND},
                          Case{"SetupDiGetDeviceInterfaceDetailA", 2, platform::ERROR_NOT_ENOUGH_MEMORY,
                               platform::ERROR_NOT_ENOUGH_MEMORY},
                          Case{"SetupDiEnumDeviceInterfaces", 1, platform::ERROR_INVALID_HANDLE,
                               platform::ERROR_INVALID_HANDLE}}) {
        SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
        FailCall(c.call, c.nth, c.error);
        EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), c.expected);
        kernel.SetFaultHook(nullptr);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.DevicePath(), nullptr);
        EXPECT_EQ(kernel.DeviceHandleCount(), 0u);
        EXPECT_EQ(kernel.EventCount(), 0u);
    }
    Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(device.Open(0, nullptr, nullptr), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(kernel.DeviceHandleCount(), 0u);

    FailCall("SetupDiGetClassDevsA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(UsbDevice::CreateDeviceList(&DRIVER_CLASS), nullptr);
    UsbDevice::DestroyDeviceList(nullptr);
    EXPECT_EQ(kernel.ListCount(), 1u) << "only the fixture's list";
}

}  // namespace
}  // namespace usbio_test
