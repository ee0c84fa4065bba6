#include "usbio/UsbPipe.h"

namespace usbio {

using platform::Sys;

UsbPipe::~UsbPipe() = default;

UsbStatus UsbPipe::Bind(int index, std::uint8_t endpointAddress, platform::HDEVINFO list,
                        const platform::GUID* interfaceClass) {
    const UsbStatus status = Open(index, list, interfaceClass);
    if (status != USB_STATUS_SUCCESS) return status;
    const std::uint8_t record[1] = {endpointAddress};
    return IoControl(IOCTL_USBIO_BIND_PIPE, record, sizeof record, nullptr, 0);
}

bool UsbPipe::Start(UsbBuffer& buffer, bool read) {
    // The platform owns an outstanding transfer's record and memory: a second
    // transfer on the same buffer would corrupt both.
    if (buffer.Outstanding()) return false;
    if (!buffer.Valid()) {
        buffer.completionStatus = USB_STATUS_NO_MEMORY;
        return false;
    }
    if (buffer.requestedBytes > buffer.capacity) {
        buffer.completionStatus = USB_STATUS_INVALID_PARAMETER;
        return false;
    }
    buffer.transferredBytes = 0;
    platform::DWORD transferred = 0;
    const platform::BOOL done =
        read ? Sys().ReadFile(handle_, buffer.memory, buffer.requestedBytes, &transferred, &buffer.overlapped)
             : Sys().WriteFile(handle_, buffer.memory, buffer.requestedBytes, &transferred, &buffer.overlapped);
    if (done) {
        buffer.transferredBytes = transferred;
        buffer.completionStatus = USB_STATUS_SUCCESS;
        return true;
    }
    buffer.completionStatus = Sys().GetLastError();
    return buffer.completionStatus == USB_STATUS_PENDING;
}

bool UsbPipe::Read(UsbBuffer& buffer) { return Start(buffer, true); }

bool UsbPipe::Write(UsbBuffer& buffer) { return Start(buffer, false); }

UsbStatus UsbPipe::WaitForCompletion(UsbBuffer& buffer, std::uint32_t milliseconds) {
    if (buffer.completionStatus == USB_STATUS_SUCCESS) return USB_STATUS_SUCCESS;
    if (buffer.completionStatus != USB_STATUS_PENDING) return buffer.completionStatus;
    if (Sys().WaitForSingleObject(buffer.overlapped.hEvent, milliseconds) == platform::WAIT_TIMEOUT)
        return USB_STATUS_TIMEOUT;
    platform::DWORD transferred = 0;
    if (Sys().GetOverlappedResult(handle_, &buffer.overlapped, &transferred, platform::FALSE_)) {
        buffer.completionStatus = USB_STATUS_SUCCESS;
    } else {
        const platform::DWORD error = Sys().GetLastError();
        // Still running although the wait ended: keep it outstanding rather
        // than hand the buffer back while the platform owns it.
        buffer.completionStatus = error == platform::ERROR_IO_INCOMPLETE ? USB_STATUS_PENDING : error;
        if (error == platform::ERROR_IO_INCOMPLETE) return USB_STATUS_TIMEOUT;
    }
    buffer.transferredBytes = transferred;
    return buffer.completionStatus;
}

bool UsbPipe::CancelTransfer(UsbBuffer& buffer) {
    if (!buffer.Outstanding() || handle_ == nullptr) return false;
    return Sys().CancelIoEx(handle_, &buffer.overlapped) != platform::FALSE_;
}

}  // namespace usbio
