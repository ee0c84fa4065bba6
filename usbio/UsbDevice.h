// One instance of the USB driver's device: open by index through the
// device-interface list of the driver's class or by its fixed name, checked
// for the driver's interface version, and driven by synchronous I/O-control
// requests under a lock of its own.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "platform/SystemCalls.h"
#include "usbio/UsbStatus.h"

namespace usbio {

// Control codes: device type 0x8094, any access, the low two bits the
// transfer method (0 buffered, 1 direct in, 2 direct out).
constexpr std::uint32_t IOCTL_USBIO_GET_DESCRIPTOR = 0x80942006;
constexpr std::uint32_t IOCTL_USBIO_SET_CONFIGURATION = 0x80942024;
constexpr std::uint32_t IOCTL_USBIO_GET_DRIVER_INFO = 0x8094206C;
constexpr std::uint32_t IOCTL_USBIO_BIND_PIPE = 0x80942078;

constexpr std::size_t DRIVER_INFO_SIZE = 12;
constexpr std::size_t DESCRIPTOR_REQUEST_SIZE = 8;
constexpr std::size_t CONFIGURATION_REQUEST_SIZE = 260;
constexpr std::size_t MAX_INTERFACE_SETTINGS = 32;
constexpr std::size_t DEVICE_DESCRIPTOR_SIZE = 18;

// What the driver tells about itself (12 bytes, little-endian).
struct DriverInfo {
    std::array<std::uint8_t, DRIVER_INFO_SIZE> bytes{};
    std::uint16_t InterfaceVersion() const { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }
};

struct InterfaceSetting {
    std::uint16_t interfaceNumber = 0;
    std::uint16_t alternateSetting = 0;
    std::uint32_t maximumTransferSize = 0;
};

struct ConfigurationRequest {
    std::uint16_t configurationIndex = 0;  // 0: the first configuration described
    std::uint16_t interfaceCount = 0;      // entries in use
    std::array<InterfaceSetting, MAX_INTERFACE_SETTINGS> interfaces{};
};

// The records as the driver reads them: cleared, then filled, little-endian.
std::array<std::uint8_t, CONFIGURATION_REQUEST_SIZE> EncodeConfigurationRequest(const ConfigurationRequest& request);
std::array<std::uint8_t, DESCRIPTOR_REQUEST_SIZE> EncodeDescriptorRequest(std::uint32_t recipient, std::uint8_t type,
                                                                          std::uint8_t index,
                                                                          std::uint16_t languageId);

class UsbDevice {
public:
    UsbDevice();
    virtual ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    // The present devices exposing interfaces of the class, or null.
    static platform::HDEVINFO CreateDeviceList(const platform::GUID* interfaceClass);
    // Releases a list; null is ignored.
    static void DestroyDeviceList(platform::HDEVINFO list);

    // Opens instance `index`: through `list` (the index-th interface of
    // `interfaceClass`) or, without a list, by the name "\\.\USBIO_Device<index>".
    // An object that is already open stays on its instance and succeeds.
    UsbStatus Open(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass);
    // Releases the handle, the event and the interface record; any number of
    // times.
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The synchronous I/O-control routine. `bytesReturned` (optional) gets
    // the count the driver delivered, also after a refusal, and is left
    // alone when the object is not open.
    UsbStatus IoControl(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                        std::uint32_t outputSize, std::uint32_t* bytesReturned = nullptr);

    UsbStatus GetDriverInfo(DriverInfo& info);
    // `size`: the capacity of `buffer` on entry, the bytes delivered on return
    // (also after a refused request; untouched when the object is not open).
    UsbStatus GetDescriptor(void* buffer, std::uint32_t& size, std::uint32_t recipient, std::uint8_t type,
                            std::uint8_t index, std::uint16_t languageId);
    UsbStatus GetDeviceDescriptor(std::uint8_t (&descriptor)[DEVICE_DESCRIPTOR_SIZE]);
    UsbStatus SetConfiguration(const ConfigurationRequest& request);

protected:
    platform::HANDLE handle_ = nullptr;
    platform::OVERLAPPED overlapped_{};
    std::mutex ioLock_;
    platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A* interfaceDetail_ = nullptr;

private:
    void ReleaseInterfaceDetail();
    UsbStatus FetchInterfacePath(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass);
};

}  // namespace usbio
