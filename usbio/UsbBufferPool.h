// A pool of transfer buffers whose data areas share one block of memory.
// Buffers are handed out and taken back in constant time, last-in
// first-out, from any number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "usbio/UsbBuffer.h"

namespace usbio {

class UsbBufferPool {
public:
    UsbBufferPool() = default;
    ~UsbBufferPool();
    UsbBufferPool(const UsbBufferPool&) = delete;
    UsbBufferPool& operator=(const UsbBufferPool&) = delete;

    // Builds `count` buffers of `bufferSize` bytes each, all free. False when
    // the pool is already allocated (until Free), when the sizes do not fit
    // in 32 bits, or when memory or an event cannot be obtained; nothing
    // stays allocated then.
    [[nodiscard]] bool Allocate(std::uint32_t bufferSize, std::uint32_t count);
    // Destroys every buffer and the block, returned or not: none may be in
    // use any more.
    void Free();

    // A free buffer, or null when none is left.
    [[nodiscard]] UsbBuffer* Get();
    // Gives a buffer back. Refused (false, nothing changes) for null, for a
    // buffer that is not one of this pool's, for one that is already free,
    // and for one whose transfer is still outstanding.
    [[nodiscard]] bool Put(UsbBuffer* buffer);

    std::uint32_t FreeCount() const;
    std::uint32_t Count() const;
    bool Allocated() const;
    // The block holding every buffer's data area (byte 0 is never used).
    const std::uint8_t* MemoryBlock() const;
    std::uint32_t MemoryBlockSize() const;

private:
    void FreeLocked();
    bool Owns(const UsbBuffer* buffer) const;

    mutable std::mutex lock_;
    UsbBuffer* freeHead_ = nullptr;
    std::uint32_t freeCount_ = 0;
    std::unique_ptr<UsbBuffer[]> buffers_;
    std::unique_ptr<bool[]> isFree_;
    std::uint32_t count_ = 0;
    std::unique_ptr<std::uint8_t[]> memoryBlock_;
    std::uint32_t memoryBlockSize_ = 0;
};

}  // namespace usbio
