// The device object: opening by name and through the device list, what a
// refused Open leaves behind, and closing.
#include <functional>
#include <string>
#include <tuple>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

class UsbDeviceTest : public UsbioTest {
protected:
    void SetUp() override {
        first = &Attach(0x0000);
        Attach(0x0001);
        list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        device.Close();
        UsbDevice::DestroyDeviceList(list);
        EXPECT_EQ(kernel.ListCount(), 0u);
    }
    std::string Path() const { return device.DevicePath() == nullptr ? "(none)" : device.DevicePath(); }
    sim::ScriptedDevice* first = nullptr;
    platform::HDEVINFO list = nullptr;
    UsbDevice device;
};

TEST_F(UsbDeviceTest, OpensByNameOrThroughTheListAndAnOpenObjectStaysOnItsInstance) {
    ASSERT_EQ(device.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(device.DevicePath(), nullptr) << "still the instance opened by name";
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);
    device.Close();
    ASSERT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(Path().rfind("\\\\?\\usb#vid_0c70&pid_0001#", 0), 0u) << Path();
    device.Close();
    EXPECT_EQ(device.DevicePath(), nullptr);
}

TEST_F(UsbDeviceTest, ARefusedOpenSaysWhyAndLeavesNothingOpen) {
    using platform::ERROR_INVALID_HANDLE, platform::ERROR_NOT_ENOUGH_MEMORY;
    const auto version = [this](std::uint16_t v) { return [this, v] { first->SetInterfaceVersion(v); }; };
    const auto infoRefused = [this] { Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, sim::DRIVER_DEVICE_REMOVED); };
    const char* const DETAIL = "SetupDiGetDeviceInterfaceDetailA";
    const auto fail = [this](const char* call, int nth, platform::DWORD error) {
        return [this, call, nth, error] { FailCall(call, nth, error); };
    };
    // clang-format off
    const std::tuple<const char*, std::function<void()>, int, bool, UsbStatus> cases[] = {
        // name, set-up, index, through the list, status
        {"one past the last interface", [] {}, 2, true, USB_STATUS_NO_SUCH_INSTANCE},
        {"a name nobody has", [] {}, 7, false, USB_STATUS_DEVICE_NOT_FOUND},
        {"interface version 0x0140", version(0x0140), 0, false, USB_STATUS_VERSION_MISMATCH},
        {"interface version 0x0142", version(0x0142), 0, true, USB_STATUS_VERSION_MISMATCH},
        {"driver information refused", infoRefused, 0, false, sim::DRIVER_DEVICE_REMOVED},
        {"no event", fail("CreateEventA", 1, ERROR_NOT_ENOUGH_MEMORY), 0, true, USB_STATUS_NO_MEMORY},
        // The first detail call only asks for the size: without it, Open refuses before allocating the record.
        {"no detail size", fail(DETAIL, 1, ERROR_INVALID_HANDLE), 0, true, USB_STATUS_DEVICE_NOT_FOUND},
        {"no detail", fail(DETAIL, 2, ERROR_NOT_ENOUGH_MEMORY), 0, true, ERROR_NOT_ENOUGH_MEMORY},
        {"no enumeration", fail("SetupDiEnumDeviceInterfaces", 1, ERROR_INVALID_HANDLE), 0, true, ERROR_INVALID_HANDLE},
    };
    // clang-format on
    for (const auto& [name, prepare, index, listed, expected] : cases) {
        SCOPED_TRACE(name);
        prepare();
        EXPECT_EQ(device.Open(index, listed ? list : nullptr, &DRIVER_CLASS), expected);
        kernel.SetFaultHook(nullptr);
        first->SetInterfaceVersion(0x0141);
        Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, 0);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(device.DevicePath(), nullptr);
        EXPECT_EQ(kernel.DeviceHandleCount() + kernel.EventCount(), 0u);
    }
    EXPECT_EQ(device.Open(0, list, nullptr), USB_STATUS_INVALID_PARAMETER) << "a list needs its class";
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
}

TEST_F(UsbDeviceTest, AListHoldsTheDevicesPresentWhenItWasMade) {
    kernel.DetachDevice(1);
    // Still in the old list: the path no longer opens; the record names the device that did not open.
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_NE(Path().find("pid_0001"), std::string::npos) << Path();
    platform::HDEVINFO present = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    EXPECT_EQ(device.Open(1, present, &DRIVER_CLASS), USB_STATUS_NO_SUCH_INSTANCE);
    UsbDevice::DestroyDeviceList(present);
    UsbDevice::DestroyDeviceList(nullptr);
    FailCall("SetupDiGetClassDevsA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(UsbDevice::CreateDeviceList(&DRIVER_CLASS), nullptr);
}

TEST_F(UsbDeviceTest, CloseTwiceAndDestructionReleaseEveryHandleAndEvent) {
    UsbDevice().Close();
    {
        UsbDevice linked;
        UsbPipe pipe;
        ASSERT_EQ(Configure(linked), USB_STATUS_SUCCESS);
        ASSERT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), USB_STATUS_SUCCESS);
        ASSERT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
        // Three handles and their events, every one auto-reset.
        EXPECT_EQ(std::tuple(kernel.DeviceHandleCount(), kernel.EventCount(), kernel.ManualResetEventCount()),
                  std::tuple(3u, 3u, 0u));
        device.Close();
        device.Close();
        EXPECT_EQ(std::tuple(kernel.DeviceHandleCount(), kernel.EventCount()), std::tuple(2u, 2u));
    }
    EXPECT_EQ(std::tuple(kernel.DeviceHandleCount(), kernel.EventCount()), std::tuple(0u, 0u));
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS) << "opens again after closing";
}

}  // namespace
}  // namespace usbio_test
