#include "usbio/UsbDevice.h"

#include "usbio/StatusText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace usbio {

using platform::Sys;

namespace {

void PutLe16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::array<std::uint8_t, CONFIGURATION_REQUEST_SIZE> EncodeConfigurationRequest(const ConfigurationRequest& request) {
    std::array<std::uint8_t, CONFIGURATION_REQUEST_SIZE> record{};
    PutLe16(&record[0], request.configurationIndex);
    PutLe16(&record[2], request.interfaceCount);
    for (std::size_t i = 0; i < request.interfaceCount && i < MAX_INTERFACE_SETTINGS; ++i) {
        std::uint8_t* entry = &record[4 + 8 * i];
        PutLe16(entry, request.interfaces[i].interfaceNumber);
        PutLe16(entry + 2, request.interfaces[i].alternateSetting);
        PutLe32(entry + 4, request.interfaces[i].maximumTransferSize);
    }
    return record;
}

std::array<std::uint8_t, DESCRIPTOR_REQUEST_SIZE> EncodeDescriptorRequest(std::uint32_t recipient, std::uint8_t type,
                                                                          std::uint8_t index,
                                                                          std::uint16_t languageId) {
    std::array<std::uint8_t, DESCRIPTOR_REQUEST_SIZE> record{};
    PutLe32(&record[0], recipient);
    record[4] = type;
    record[5] = index;
    PutLe16(&record[6], languageId);
    return record;
}

std::array<std::uint8_t, FEATURE_REQUEST_SIZE> EncodeFeatureRequest(std::uint32_t recipient, std::uint16_t selector,
                                                                    std::uint16_t index) {
    std::array<std::uint8_t, FEATURE_REQUEST_SIZE> record{};
    PutLe32(&record[0], recipient);
    PutLe16(&record[4], selector);
    PutLe16(&record[6], index);
    return record;
}

std::array<std::uint8_t, RECIPIENT_INDEX_REQUEST_SIZE> EncodeRecipientIndexRequest(std::uint32_t recipient,
                                                                                   std::uint16_t index) {
    std::array<std::uint8_t, RECIPIENT_INDEX_REQUEST_SIZE> record{};
    PutLe32(&record[0], recipient);
    PutLe16(&record[4], index);
    return record;
}

UsbDevice::UsbDevice() = default;

UsbDevice::~UsbDevice() { Close(); }

platform::HDEVINFO UsbDevice::CreateDeviceList(const platform::GUID* interfaceClass) {
    platform::HDEVINFO list = Sys().SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                                         platform::DIGCF_PRESENT | platform::DIGCF_DEVICEINTERFACE);
    return list == platform::INVALID_HANDLE_VALUE ? nullptr : list;
}

void UsbDevice::DestroyDeviceList(platform::HDEVINFO list) {
    if (list != nullptr) Sys().SetupDiDestroyDeviceInfoList(list);
}

void UsbDevice::ReleaseInterfaceDetail() {
    std::free(interfaceDetail_);
    interfaceDetail_ = nullptr;
}

UsbStatus UsbDevice::FetchInterfacePath(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass) {
    ReleaseInterfaceDetail();
    platform::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!Sys().SetupDiEnumDeviceInterfaces(list, nullptr, interfaceClass, static_cast<platform::DWORD>(index),
                                           &data)) {
        const platform::DWORD error = Sys().GetLastError();
        return error == platform::ERROR_NO_MORE_ITEMS ? USB_STATUS_NO_SUCH_INSTANCE : error;
    }
    // The first call only reports the size the record needs; its failure is
    // expected.
    platform::DWORD required = 0;
    Sys().SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr);
    if (required <= offsetof(platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) || required > 0x10000) {
        // No usable size: there is no path to open, and nothing to allocate.
        return USB_STATUS_DEVICE_NOT_FOUND;
    }
    interfaceDetail_ = static_cast<platform::SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, required));
    if (interfaceDetail_ == nullptr) return USB_STATUS_NO_MEMORY;
    interfaceDetail_->cbSize = platform::DEVICE_INTERFACE_DETAIL_FIXED_SIZE;
    if (!Sys().SetupDiGetDeviceInterfaceDetailA(list, &data, interfaceDetail_, required, nullptr, nullptr))
        return Sys().GetLastError();
    return USB_STATUS_SUCCESS;
}

UsbStatus UsbDevice::Open(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass) {
    if (handle_ != nullptr) return USB_STATUS_SUCCESS;

    char name[80];
    const char* path = name;
    if (list == nullptr) {
        std::snprintf(name, sizeof name, "\\\\.\\USBIO_Device%d", index);
    } else {
        if (interfaceClass == nullptr) return USB_STATUS_INVALID_PARAMETER;
        const UsbStatus status = FetchInterfacePath(index, list, interfaceClass);
        if (status != USB_STATUS_SUCCESS) return status;
        path = interfaceDetail_->DevicePath;
    }

    platform::HANDLE handle =
        Sys().CreateFileA(path, platform::GENERIC_READ | platform::GENERIC_WRITE,
                          platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr, platform::OPEN_EXISTING,
                          platform::FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == platform::INVALID_HANDLE_VALUE || handle == nullptr) return USB_STATUS_DEVICE_NOT_FOUND;
    handle_ = handle;

    overlapped_ = platform::OVERLAPPED{};
    overlapped_.hEvent = Sys().CreateEventA(nullptr, platform::FALSE_, platform::FALSE_, nullptr);
    if (overlapped_.hEvent == nullptr) {
        Close();
        return USB_STATUS_NO_MEMORY;
    }

    DriverInfo info;
    const UsbStatus status = GetDriverInfo(info);
    if (status != USB_STATUS_SUCCESS) {
        Close();
        return status;
    }
    if (info.InterfaceVersion() != DRIVER_INTERFACE_VERSION) {
        Close();
        return USB_STATUS_VERSION_MISMATCH;
    }
    return USB_STATUS_SUCCESS;
}

void UsbDevice::Close() {
    if (handle_ != nullptr) {
        Sys().CloseHandle(handle_);
        handle_ = nullptr;
    }
    if (overlapped_.hEvent != nullptr) {
        Sys().CloseHandle(overlapped_.hEvent);
        overlapped_.hEvent = nullptr;
    }
    ReleaseInterfaceDetail();
}

UsbStatus UsbDevice::IoControl(std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                               std::uint32_t outputSize, std::uint32_t* bytesReturned) {
    platform::DWORD count = 0;
    if (handle_ == nullptr) return USB_STATUS_NOT_OPEN;

    UsbStatus status = USB_STATUS_SUCCESS;
    {
        // All requests of this object share its one overlapped record.
        std::lock_guard lock(ioLock_);
        if (!Sys().DeviceIoControl(handle_, code, const_cast<void*>(input), inputSize, output, outputSize, &count,
                                   &overlapped_)) {
            const platform::DWORD error = Sys().GetLastError();
            if (error == platform::ERROR_IO_PENDING) {
                if (!Sys().GetOverlappedResult(handle_, &overlapped_, &count, platform::TRUE_))
                    status = Sys().GetLastError();
            } else {
                status = error;
            }
        }
    }
    if (bytesReturned != nullptr) *bytesReturned = count;
    return status;
}

UsbStatus UsbDevice::GetDriverInfo(DriverInfo& info) {
    return IoControl(IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, info.bytes.data(),
                     static_cast<std::uint32_t>(info.bytes.size()));
}

UsbStatus UsbDevice::GetDescriptor(void* buffer, std::uint32_t& size, std::uint32_t recipient, std::uint8_t type,
                                   std::uint8_t index, std::uint16_t languageId) {
    const auto request = EncodeDescriptorRequest(recipient, type, index, languageId);
    return IoControl(IOCTL_USBIO_GET_DESCRIPTOR, request.data(), static_cast<std::uint32_t>(request.size()), buffer,
                     size, &size);
}

UsbStatus UsbDevice::GetDeviceDescriptor(std::uint8_t (&descriptor)[DEVICE_DESCRIPTOR_SIZE]) {
    std::uint32_t size = DEVICE_DESCRIPTOR_SIZE;
    return GetDescriptor(descriptor, size, 0, 1, 0, 0);
}

UsbStatus UsbDevice::SetConfiguration(const ConfigurationRequest& request) {
    const auto record = EncodeConfigurationRequest(request);
    return IoControl(IOCTL_USBIO_SET_CONFIGURATION, record.data(), static_cast<std::uint32_t>(record.size()), nullptr,
                     0);
}

const char* UsbDevice::DevicePath() const {
    // A record whose fetch failed holds no path.
    if (interfaceDetail_ == nullptr || interfaceDetail_->DevicePath[0] == '\0') return nullptr;
    return interfaceDetail_->DevicePath;
}

bool UsbDevice::CancelPendingIo() {
    if (handle_ == nullptr) return false;
    return Sys().CancelIo(handle_) != platform::FALSE_;
}

// ---- further requests -------------------------------------------------------

namespace {

template <std::size_t N>
std::uint32_t SizeOf(const std::array<std::uint8_t, N>&) {
    return static_cast<std::uint32_t>(N);
}

}  // namespace

UsbStatus UsbDevice::SetDescriptor(const void* buffer, std::uint32_t& size, std::uint32_t recipient,
                                   std::uint8_t type, std::uint8_t index, std::uint16_t languageId) {
    const auto request = EncodeDescriptorRequest(recipient, type, index, languageId);
    // Direct in: the driver only reads the second buffer.
    return IoControl(IOCTL_USBIO_SET_DESCRIPTOR, request.data(), SizeOf(request), const_cast<void*>(buffer), size,
                     &size);
}

UsbStatus UsbDevice::GetConfigurationDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index) {
    return GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_CONFIGURATION, index, 0);
}

UsbStatus UsbDevice::GetStringDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index,
                                         std::uint16_t languageId) {
    return GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_STRING, index, languageId);
}

UsbStatus UsbDevice::DeviceRequest803(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index) {
    const auto request = EncodeFeatureRequest(recipient, selector, index);
    return IoControl(IOCTL_USBIO_803, request.data(), SizeOf(request), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest804(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index) {
    const auto request = EncodeFeatureRequest(recipient, selector, index);
    return IoControl(IOCTL_USBIO_804, request.data(), SizeOf(request), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest805(std::uint16_t& value, std::uint32_t recipient, std::uint16_t index) {
    const auto request = EncodeRecipientIndexRequest(recipient, index);
    std::uint8_t reply[2] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_805, request.data(), SizeOf(request), reply, sizeof reply);
    value = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    return status;
}

UsbStatus UsbDevice::GetConfiguration(std::uint8_t& value) {
    std::uint8_t reply = 0;
    const UsbStatus status = IoControl(IOCTL_USBIO_GET_CONFIGURATION, nullptr, 0, &reply, sizeof reply);
    value = reply;
    return status;
}

UsbStatus UsbDevice::GetInterface(std::uint8_t& value, std::uint16_t interfaceNumber) {
    std::uint8_t request[INTERFACE_REQUEST_SIZE] = {};
    PutLe16(request, interfaceNumber);
    std::uint8_t reply = 0;
    const UsbStatus status = IoControl(IOCTL_USBIO_GET_INTERFACE, request, sizeof request, &reply, sizeof reply);
    value = reply;
    return status;
}

UsbStatus UsbDevice::SubmitConfigurationDescriptor(const void* descriptor, std::uint32_t size) {
    // The descriptor's own total-length field says how much goes out; a
    // field claiming more than the caller has would send whatever lies
    // behind the caller's memory.
    if (descriptor == nullptr || size < 4) return USB_STATUS_INVALID_PARAMETER;
    const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
    const std::uint32_t totalLength = static_cast<std::uint32_t>(bytes[2] | (bytes[3] << 8));
    if (totalLength > size) return USB_STATUS_INVALID_PARAMETER;
    return IoControl(IOCTL_USBIO_SUBMIT_CONFIGURATION_DESCRIPTOR, descriptor, totalLength, nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest80A() { return IoControl(IOCTL_USBIO_80A, nullptr, 0, nullptr, 0); }

UsbStatus UsbDevice::DeviceRequest80B(const DeviceRecord8& record) {
    return IoControl(IOCTL_USBIO_80B, record.data(), SizeOf(record), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest80C(void* buffer, std::uint32_t& size, const DeviceRecord18& record) {
    return IoControl(IOCTL_USBIO_80C, record.data(), SizeOf(record), buffer, size, &size);
}

UsbStatus UsbDevice::DeviceRequest80D(const void* buffer, std::uint32_t& size, const DeviceRecord18& record) {
    // Direct in: the driver only reads the second buffer.
    return IoControl(IOCTL_USBIO_80D, record.data(), SizeOf(record), const_cast<void*>(buffer), size, &size);
}

UsbStatus UsbDevice::DeviceRequest80F(DeviceRecord8& record) {
    record.fill(0);
    return IoControl(IOCTL_USBIO_80F, nullptr, 0, record.data(), SizeOf(record));
}

UsbStatus UsbDevice::DeviceRequest810(const DeviceRecord8& record) {
    return IoControl(IOCTL_USBIO_810, record.data(), SizeOf(record), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest814(DeviceRecord776& record) {
    record.fill(0);
    return IoControl(IOCTL_USBIO_814, nullptr, 0, record.data(), SizeOf(record));
}

UsbStatus UsbDevice::DeviceRequest815() { return IoControl(IOCTL_USBIO_815, nullptr, 0, nullptr, 0); }

UsbStatus UsbDevice::DeviceRequest816(std::uint32_t& value) {
    std::uint8_t reply[4] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_816, nullptr, 0, reply, sizeof reply);
    value = GetLe32(reply);
    return status;
}

UsbStatus UsbDevice::DeviceRequest817(std::uint32_t value) {
    std::uint8_t request[4] = {};
    PutLe32(request, value);
    return IoControl(IOCTL_USBIO_817, request, sizeof request, nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest818(std::uint32_t& value) {
    std::uint8_t reply[4] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_818, nullptr, 0, reply, sizeof reply);
    if (status == USB_STATUS_SUCCESS) value = GetLe32(reply);
    return status;
}

UsbStatus UsbDevice::DeviceRequest81C() { return IoControl(IOCTL_USBIO_81C, nullptr, 0, nullptr, 0); }

char* UsbDevice::StatusText(char* text, std::size_t size, UsbStatus status) {
    return usbio::StatusText(text, size, status);
}

}  // namespace usbio
