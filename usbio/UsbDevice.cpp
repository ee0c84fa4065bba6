#include "usbio/UsbDevice.h"

#include "platform/LittleEndian.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace usbio {

using platform::Sys;

using platform::PutLe16;
using platform::PutLe32;

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

UsbDevice::UsbDevice() = default;

UsbDevice::~UsbDevice() { Close(); }

platform::HDEVINFO UsbDevice::CreateDeviceList(const platform::GUID* interfaceClass) {
    platform::HDEVINFO list = Sys().SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                                         platform::DIGCF_PRESENT | platform::DIGCF_DEVICEINTERFACE);
    return list == platform::INVALID_HANDLE_VALUE ? nullptr : list;
}

void UsbDevice::DestroyDeviceList(platform::HDEVINFO list) {
    // Nothing to do about a list the system would not release.
    if (list != nullptr) static_cast<void>(Sys().SetupDiDestroyDeviceInfoList(list));
}

void UsbDevice::ReleaseInterfaceDetail() {
    std::free(interfaceDetail_);
    interfaceDetail_ = nullptr;
}

UsbStatus UsbDevice::FetchInterfacePath(int index, platform::HDEVINFO list, const platform::GUID* interfaceClass) {
    ReleaseInterfaceDetail();
    platform::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!Sys().SetupDiEnumDeviceInterfaces(list, nullptr, interfaceClass, static_cast<platform::DWORD>(index), &data)) {
        const platform::DWORD error = Sys().GetLastError();
        return error == platform::ERROR_NO_MORE_ITEMS ? USB_STATUS_NO_SUCH_INSTANCE : error;
    }
    // The first call only reports the size the record needs; its failure is
    // expected.
    platform::DWORD required = 0;
    static_cast<void>(Sys().SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr));
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

    platform::HANDLE handle = Sys().CreateFileA(path, platform::GENERIC_READ | platform::GENERIC_WRITE,
                                                platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr,
                                                platform::OPEN_EXISTING, platform::FILE_FLAG_OVERLAPPED, nullptr);
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
    // A handle that does not close is gone for this object all the same.
    if (handle_ != nullptr) {
        static_cast<void>(Sys().CloseHandle(handle_));
        handle_ = nullptr;
    }
    if (overlapped_.hEvent != nullptr) {
        static_cast<void>(Sys().CloseHandle(overlapped_.hEvent));
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

}  // namespace usbio
