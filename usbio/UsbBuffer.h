// One transfer buffer: its memory, the byte counts of a transfer, the
// transfer's status and an overlapped record with its own event.
#pragma once

#include <cstdint>

#include "platform/SystemCalls.h"
#include "usbio/UsbStatus.h"

namespace usbio {

class UsbBuffer {
public:
    // A buffer with no memory (pool buffers get theirs later).
    UsbBuffer();
    // A buffer that owns `capacity` bytes of zeroed memory.
    explicit UsbBuffer(std::uint32_t capacity);
    // A buffer over caller memory, which it never frees.
    UsbBuffer(void* memory, std::uint32_t size);
    ~UsbBuffer();
    UsbBuffer(const UsbBuffer&) = delete;
    UsbBuffer& operator=(const UsbBuffer&) = delete;

    std::uint8_t* Data() const { return memory; }
    // False when the buffer's event could not be created (or its memory not
    // allocated): every transfer on it is then refused.
    bool Valid() const { return overlapped.hEvent != nullptr && (capacity == 0 || memory != nullptr); }
    bool Outstanding() const { return completionStatus == USB_STATUS_PENDING; }

    std::uint32_t requestedBytes = 0;    // what the next transfer is to move
    std::uint32_t transferredBytes = 0;  // what the last transfer moved
    UsbStatus completionStatus = 0;      // 0, USB_STATUS_PENDING or the failure
    UsbBuffer* nextFree = nullptr;       // the buffer pool's free list
    std::uint8_t* memory = nullptr;
    std::uint32_t capacity = 0;
    platform::OVERLAPPED overlapped{};
    bool ownsMemory = false;

private:
    void CreateEvent();
};

}  // namespace usbio
