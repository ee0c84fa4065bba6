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

namespace {

// A start refused before the platform saw it: the reason is in the buffer.
bool Refuse(UsbBuffer& buffer, UsbStatus status) {
    buffer.completionStatus = status;
    return false;
}

}  // namespace

bool UsbPipe::Start(UsbBuffer& buffer, bool read) {
    // The platform owns an outstanding transfer's record and memory: a second
    // transfer on the same buffer would corrupt both. The earlier transfer
    // stays outstanding, and a wait goes on waiting for it.
    if (buffer.Outstanding()) return Refuse(buffer, USB_STATUS_BUFFER_BUSY);
    if (!buffer.Valid()) return Refuse(buffer, USB_STATUS_NO_MEMORY);
    if (buffer.requestedBytes > buffer.capacity) return Refuse(buffer, USB_STATUS_INVALID_PARAMETER);
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
    buffer.outstanding_ = buffer.completionStatus == USB_STATUS_PENDING;
    return buffer.outstanding_;
}

bool UsbPipe::Read(UsbBuffer& buffer) { return Start(buffer, true); }

bool UsbPipe::Write(UsbBuffer& buffer) { return Start(buffer, false); }

UsbStatus UsbPipe::WaitForCompletion(UsbBuffer& buffer, std::uint32_t milliseconds) {
    // Nothing outstanding: the outcome of the start, success or its failure.
    if (!buffer.Outstanding()) return buffer.completionStatus;
    // The transfer the buffer carries, also after a refused start on it.
    buffer.completionStatus = USB_STATUS_PENDING;
    if (Sys().WaitForSingleObject(buffer.overlapped.hEvent, milliseconds) == platform::WAIT_TIMEOUT)
        return USB_STATUS_TIMEOUT;
    platform::DWORD transferred = 0;
    if (Sys().GetOverlappedResult(handle_, &buffer.overlapped, &transferred, platform::FALSE_)) {
        buffer.completionStatus = USB_STATUS_SUCCESS;
    } else {
        const platform::DWORD error = Sys().GetLastError();
        // Still running although the wait ended: keep it outstanding rather
        // than hand the buffer back while the platform owns it.
        if (error == platform::ERROR_IO_INCOMPLETE) return USB_STATUS_TIMEOUT;
        buffer.completionStatus = error;
    }
    buffer.outstanding_ = false;
    buffer.transferredBytes = transferred;
    return buffer.completionStatus;
}

bool UsbPipe::CancelTransfer(UsbBuffer& buffer) {
    if (!buffer.Outstanding() || handle_ == nullptr) return false;
    return Sys().CancelIoEx(handle_, &buffer.overlapped) != platform::FALSE_;
}

UsbStatus UsbPipe::TransferSync(void* memory, std::uint32_t& size, std::uint32_t milliseconds, bool read) {
    UsbBuffer buffer(memory, size);
    buffer.requestedBytes = size;
    // The outcome, also of a refused start, is in the buffer.
    static_cast<void>(read ? Read(buffer) : Write(buffer));
    UsbStatus status = WaitForCompletion(buffer, milliseconds);
    if (status == USB_STATUS_TIMEOUT) {
        // Cancel this transfer only: others that this thread started on the
        // pipe go on. The buffer cannot be released before the transfer has
        // finished, so the second wait has no limit.
        // False only when it finished meanwhile; the wait below tells.
        static_cast<void>(CancelTransfer(buffer));
        // Data that arrived in the race with the cancellation were moved:
        // the caller gets them, not a time-out.
        if (WaitForCompletion(buffer, platform::INFINITE) == USB_STATUS_SUCCESS) status = USB_STATUS_SUCCESS;
    }
    size = buffer.transferredBytes;
    return status;
}

UsbStatus UsbPipe::ReadSync(void* memory, std::uint32_t& size, std::uint32_t milliseconds) {
    return TransferSync(memory, size, milliseconds, true);
}

UsbStatus UsbPipe::WriteSync(const void* memory, std::uint32_t& size, std::uint32_t milliseconds) {
    // A write only reads the memory.
    return TransferSync(const_cast<void*>(memory), size, milliseconds, false);
}

namespace {

template <std::size_t N>
std::uint32_t SizeOf(const std::array<std::uint8_t, N>&) {
    return static_cast<std::uint32_t>(N);
}

}  // namespace

UsbStatus UsbPipe::PipeRequest81F() { return IoControl(IOCTL_USBIO_81F, nullptr, 0, nullptr, 0); }

UsbStatus UsbPipe::PipeRequest820() { return IoControl(IOCTL_USBIO_820, nullptr, 0, nullptr, 0); }

UsbStatus UsbPipe::PipeRequest821() { return IoControl(IOCTL_USBIO_821, nullptr, 0, nullptr, 0); }

UsbStatus UsbPipe::PipeRequest823(PipeRecord4& record) {
    record.fill(0);
    return IoControl(IOCTL_USBIO_823, nullptr, 0, record.data(), SizeOf(record));
}

UsbStatus UsbPipe::PipeRequest824(const PipeRecord4& record) {
    return IoControl(IOCTL_USBIO_824, record.data(), SizeOf(record), nullptr, 0);
}

UsbStatus UsbPipe::PipeRequest828(void* buffer, std::uint32_t& size, const PipeRecord12& record) {
    return IoControl(IOCTL_USBIO_828, record.data(), SizeOf(record), buffer, size, &size);
}

UsbStatus UsbPipe::PipeRequest829(const void* buffer, std::uint32_t& size, const PipeRecord12& record) {
    // Direct in: the driver only reads the second buffer.
    return IoControl(IOCTL_USBIO_829, record.data(), SizeOf(record), const_cast<void*>(buffer), size, &size);
}

}  // namespace usbio
