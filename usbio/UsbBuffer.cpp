#include "usbio/UsbBuffer.h"

#include <new>

namespace usbio {

void UsbBuffer::CreateEvent() {
    overlapped = platform::OVERLAPPED{};
    overlapped.hEvent = platform::Sys().CreateEventA(nullptr, platform::FALSE_, platform::FALSE_, nullptr);
}

UsbBuffer::UsbBuffer() { CreateEvent(); }

UsbBuffer::UsbBuffer(std::uint32_t size) {
    CreateEvent();
    if (size == 0) return;
    // Zeroed, so that bytes nobody set never go out to the device as
    // leftovers of the heap.
    memory = new (std::nothrow) std::uint8_t[size]();
    if (memory == nullptr) return;
    capacity = size;
    ownsMemory = true;
}

UsbBuffer::UsbBuffer(void* callerMemory, std::uint32_t size) {
    CreateEvent();
    memory = static_cast<std::uint8_t*>(callerMemory);
    capacity = memory == nullptr ? 0 : size;
}

UsbBuffer::~UsbBuffer() {
    if (overlapped.hEvent != nullptr) static_cast<void>(platform::Sys().CloseHandle(overlapped.hEvent));
    if (ownsMemory && memory != nullptr) delete[] memory;
}

}  // namespace usbio
