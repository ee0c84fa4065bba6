#include "usbio/UsbBufferPool.h"

#include <cstddef>
#include <functional>
#include <limits>
#include <new>

namespace usbio {

UsbBufferPool::~UsbBufferPool() { Free(); }

bool UsbBufferPool::Allocate(std::uint32_t bufferSize, std::uint32_t count) {
    std::lock_guard guard(lock_);
    if (buffers_ != nullptr) return false;

    // Sizes in 64 bits: in 32 bits 0x10000 buffers of 0x10000 bytes would
    // wrap round to a block of 1 byte, and every buffer would write past it.
    const std::uint64_t blockSize = static_cast<std::uint64_t>(bufferSize) * count + 1;
    const std::uint64_t arraySize = static_cast<std::uint64_t>(sizeof(UsbBuffer)) * count;
    constexpr std::uint64_t LIMIT = std::numeric_limits<std::uint32_t>::max();
    if (blockSize > LIMIT || arraySize > LIMIT || blockSize > std::numeric_limits<std::size_t>::max() ||
        arraySize > std::numeric_limits<std::size_t>::max())
        return false;

    std::unique_ptr<UsbBuffer[]> buffers(new (std::nothrow) UsbBuffer[count]);
    std::unique_ptr<bool[]> isFree(new (std::nothrow) bool[count]);
    if (buffers == nullptr || isFree == nullptr) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (buffers[i].overlapped.hEvent == nullptr) return false;  // the array's destructor closes the others
    // Zeroed, like every buffer's own memory: nothing left on the heap goes
    // out to a device.
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(blockSize)]());
    if (block == nullptr) return false;

    // The block's first byte is never used.
    for (std::uint32_t i = 0; i < count; ++i) {
        UsbBuffer& buffer = buffers[i];
        buffer.memory = block.get() + 1 + static_cast<std::size_t>(i) * bufferSize;
        buffer.capacity = bufferSize;
        buffer.ownsMemory = false;
        buffer.nextFree = freeHead_;
        freeHead_ = &buffer;
        isFree[i] = true;
    }
    buffers_ = std::move(buffers);
    isFree_ = std::move(isFree);
    memoryBlock_ = std::move(block);
    memoryBlockSize_ = static_cast<std::uint32_t>(blockSize);
    count_ = count;
    freeCount_ = count;
    return true;
}

void UsbBufferPool::Free() {
    std::lock_guard guard(lock_);
    FreeLocked();
}

void UsbBufferPool::FreeLocked() {
    // The buffers close their events; not owning their memory, they free
    // nothing of the block.
    buffers_.reset();
    isFree_.reset();
    memoryBlock_.reset();
    memoryBlockSize_ = 0;
    count_ = 0;
    freeHead_ = nullptr;
    freeCount_ = 0;
}

bool UsbBufferPool::Owns(const UsbBuffer* buffer) const {
    if (buffers_ == nullptr || buffer == nullptr) return false;
    // std::less orders pointers into different objects too.
    std::less<const UsbBuffer*> before;
    return !before(buffer, buffers_.get()) && before(buffer, buffers_.get() + count_);
}

UsbBuffer* UsbBufferPool::Get() {
    std::lock_guard guard(lock_);
    UsbBuffer* buffer = freeHead_;
    if (buffer == nullptr) return nullptr;
    freeHead_ = buffer->nextFree;
    buffer->nextFree = nullptr;
    isFree_[buffer - buffers_.get()] = false;
    --freeCount_;
    return buffer;
}

bool UsbBufferPool::Put(UsbBuffer* buffer) {
    std::lock_guard guard(lock_);
    // A buffer put twice would be handed to two takers at once; one put
    // while the platform still owns its transfer would be handed out busy.
    if (!Owns(buffer)) return false;
    const std::ptrdiff_t index = buffer - buffers_.get();
    if (isFree_[index] || buffer->Outstanding()) return false;
    isFree_[index] = true;
    buffer->nextFree = freeHead_;
    freeHead_ = buffer;
    ++freeCount_;
    return true;
}

std::uint32_t UsbBufferPool::FreeCount() const {
    std::lock_guard guard(lock_);
    return freeCount_;
}

std::uint32_t UsbBufferPool::Count() const {
    std::lock_guard guard(lock_);
    return count_;
}

bool UsbBufferPool::Allocated() const {
    std::lock_guard guard(lock_);
    return buffers_ != nullptr;
}

const std::uint8_t* UsbBufferPool::MemoryBlock() const {
    std::lock_guard guard(lock_);
    return memoryBlock_.get();
}

std::uint32_t UsbBufferPool::MemoryBlockSize() const {
    std::lock_guard guard(lock_);
    return memoryBlockSize_;
}

}  // namespace usbio
