// One transfer buffer: its memory, the byte counts of a transfer, the
// transfer's status and an overlapped record with its own event.
#pragma once

#include <cstdint>

#include "platform/SystemCalls.h"
#include "usbio/UsbStatus.h"

namespace usbio {

// Why a read or write was refused on a buffer whose transfer is still
// outstanding: the driver's own words for it, "There are pending requests.
// Use Abort first.".
constexpr UsbStatus USB_STATUS_BUFFER_BUSY = 0xE0001004;

class UsbPipe;

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
    // A transfer the platform still owns: until a wait has ended it, its
    // record, memory and counts are the platform's, and no other transfer
    // may start on the buffer.
    bool Outstanding() const { return outstanding_; }

    std::uint32_t requestedBytes = 0;    // what the next transfer is to move
    std::uint32_t transferredBytes = 0;  // what the last transfer moved
    // 0, USB_STATUS_PENDING while the transfer it started is outstanding, or
    // the failure of the last start or wait. A start refused because the
    // buffer is busy leaves USB_STATUS_BUFFER_BUSY here while the earlier
    // transfer stays outstanding.
    UsbStatus completionStatus = 0;
    UsbBuffer* nextFree = nullptr;  // the buffer pool's free list
    std::uint8_t* memory = nullptr;
    std::uint32_t capacity = 0;
    platform::OVERLAPPED overlapped{};
    bool ownsMemory = false;

private:
    friend class UsbPipe;
    void CreateEvent();
    bool outstanding_ = false;
};

}  // namespace usbio
