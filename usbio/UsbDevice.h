// One instance of the USB driver's device: open by index through the
// device-interface list of the driver's class or by its fixed name, checked
// for the driver's interface version, and driven by synchronous I/O-control
// requests under a lock of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/DriverInterface.h"
#include "platform/LittleEndian.h"
#include "platform/SystemCalls.h"
#include "usbio/UsbStatus.h"

namespace usbio {

// The driver's control codes, statuses and record sizes.
using namespace platform::driver;

// Descriptor types as the USB standard numbers them.
constexpr std::uint8_t DESCRIPTOR_TYPE_DEVICE = 1;
constexpr std::uint8_t DESCRIPTOR_TYPE_CONFIGURATION = 2;
constexpr std::uint8_t DESCRIPTOR_TYPE_STRING = 3;

constexpr std::size_t MAX_INTERFACE_SETTINGS = 32;
constexpr std::size_t DEVICE_DESCRIPTOR_SIZE = 18;
constexpr std::size_t FEATURE_REQUEST_SIZE = 8;
constexpr std::size_t RECIPIENT_INDEX_REQUEST_SIZE = 6;
constexpr std::size_t INTERFACE_REQUEST_SIZE = 2;

// Records the caller fills (or receives) for the driver's own purposes; the
// layer passes them through as they are.
using DeviceRecord8 = std::array<std::uint8_t, 8>;
using DeviceRecord18 = std::array<std::uint8_t, 18>;
using DeviceRecord776 = std::array<std::uint8_t, 776>;

// What the driver tells about itself (12 bytes, little-endian).
struct DriverInfo {
    std::array<std::uint8_t, DRIVER_INFO_SIZE> bytes{};
    std::uint16_t InterfaceVersion() const { return platform::GetLe16(bytes.data()); }
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
                                                                          std::uint8_t index, std::uint16_t languageId);
std::array<std::uint8_t, FEATURE_REQUEST_SIZE> EncodeFeatureRequest(std::uint32_t recipient, std::uint16_t selector,
                                                                    std::uint16_t index);
std::array<std::uint8_t, RECIPIENT_INDEX_REQUEST_SIZE> EncodeRecipientIndexRequest(std::uint32_t recipient,
                                                                                   std::uint16_t index);

class UsbDevice {
public:
    UsbDevice();
    virtual ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    // The present devices exposing interfaces of the class, or null.
    [[nodiscard]] static platform::HDEVINFO CreateDeviceList(const platform::GUID* interfaceClass);
    // Releases a list; null is ignored.
    static void DestroyDeviceList(platform::HDEVINFO list);

    // Opens instance `index`: through `list` (the index-th interface of
    // `interfaceClass`) or, without a list, by the name "\\.\USBIO_Device<index>".
    // An object that is already open stays on its instance and succeeds.
    [[nodiscard]] UsbStatus Open(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass);
    // Releases the handle, the event and the interface record; any number of
    // times.
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The synchronous I/O-control routine. `bytesReturned` (optional) gets
    // the count the driver delivered, also after a refusal, and is left
    // alone when the object is not open.
    [[nodiscard]] UsbStatus IoControl(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                                      std::uint32_t outputSize, std::uint32_t* bytesReturned = nullptr);

    [[nodiscard]] UsbStatus GetDriverInfo(DriverInfo& info);
    // `size`: the capacity of `buffer` on entry, the bytes delivered on return
    // (also after a refused request; untouched when the object is not open).
    [[nodiscard]] UsbStatus GetDescriptor(void* buffer, std::uint32_t& size, std::uint32_t recipient, std::uint8_t type,
                                          std::uint8_t index, std::uint16_t languageId);
    [[nodiscard]] UsbStatus GetDeviceDescriptor(std::uint8_t (&descriptor)[DEVICE_DESCRIPTOR_SIZE]);
    [[nodiscard]] UsbStatus SetConfiguration(const ConfigurationRequest& request);

    // The path of the device interface last opened through a device list
    // (it may name a device whose open failed), or null.
    const char* DevicePath() const;
    // Cancels every transfer and request that the calling thread started on
    // this object's handle; the platform's result.
    [[nodiscard]] bool CancelPendingIo();

    // The further requests. Each returns the status of IoControl. `size`
    // arguments work as in GetDescriptor. Values "copied also after a
    // failure" receive the cleared reply (0) when nothing was delivered,
    // also when the object is not open; records marked "cleared" are zeroed
    // before the request is issued.
    [[nodiscard]] UsbStatus SetDescriptor(const void* buffer, std::uint32_t& size, std::uint32_t recipient,
                                          std::uint8_t type, std::uint8_t index, std::uint16_t languageId);
    [[nodiscard]] UsbStatus GetConfigurationDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index);
    [[nodiscard]] UsbStatus GetStringDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index,
                                                std::uint16_t languageId);
    [[nodiscard]] UsbStatus DeviceRequest803(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index);
    [[nodiscard]] UsbStatus DeviceRequest804(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index);
    // `value` is written also after a failure.
    [[nodiscard]] UsbStatus DeviceRequest805(std::uint16_t& value, std::uint32_t recipient, std::uint16_t index);
    // `value` is written also after a failure.
    [[nodiscard]] UsbStatus GetConfiguration(std::uint8_t& value);
    // The interface's alternate setting; `value` is written also after a
    // failure.
    [[nodiscard]] UsbStatus GetInterface(std::uint8_t& value, std::uint16_t interfaceNumber);
    // Sends a whole configuration descriptor, as long as its total-length
    // field (bytes 2 and 3) says. Refused with USB_STATUS_INVALID_PARAMETER
    // when the caller's `size` cannot hold that field or is smaller than the
    // length it claims.
    [[nodiscard]] UsbStatus SubmitConfigurationDescriptor(const void* descriptor, std::uint32_t size);
    [[nodiscard]] UsbStatus DeviceRequest80A();
    [[nodiscard]] UsbStatus DeviceRequest80B(const DeviceRecord8& record);
    [[nodiscard]] UsbStatus DeviceRequest80C(void* buffer, std::uint32_t& size, const DeviceRecord18& record);
    [[nodiscard]] UsbStatus DeviceRequest80D(const void* buffer, std::uint32_t& size, const DeviceRecord18& record);
    // `record` is cleared first.
    [[nodiscard]] UsbStatus DeviceRequest80F(DeviceRecord8& record);
    [[nodiscard]] UsbStatus DeviceRequest810(const DeviceRecord8& record);
    // `record` is cleared first.
    [[nodiscard]] UsbStatus DeviceRequest814(DeviceRecord776& record);
    [[nodiscard]] UsbStatus DeviceRequest815();
    // `value` is written also after a failure.
    [[nodiscard]] UsbStatus DeviceRequest816(std::uint32_t& value);
    [[nodiscard]] UsbStatus DeviceRequest817(std::uint32_t value);
    // `value` is written only on success.
    [[nodiscard]] UsbStatus DeviceRequest818(std::uint32_t& value);
    [[nodiscard]] UsbStatus DeviceRequest81C();

    // Writes "Error code 0x%08X: <text>" for `status` into the caller's area
    // of `size` characters, cut and always terminated; returns `text`. An
    // absent area or a size of 0 is left untouched.
    static char* StatusText(char* text, std::size_t size, UsbStatus status);

protected:
    platform::HANDLE handle_ = nullptr;
    platform::OVERLAPPED overlapped_{};
    std::mutex ioLock_;
    platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A* interfaceDetail_ = nullptr;

private:
    void ReleaseInterfaceDetail();
    [[nodiscard]] UsbStatus FetchInterfacePath(int index, platform::HDEVINFO list,
                                               const platform::GUID* interfaceClass);
};

}  // namespace usbio
