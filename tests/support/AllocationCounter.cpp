// Replaces every form of global operator new and delete with a counting one
// over malloc and free. Aligned forms use aligned_alloc.
#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> deallocations{0};

void* Allocate(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* memory = std::malloc(size == 0 ? 1 : size);
    return memory;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
#ifdef _WIN32
    return _aligned_malloc(rounded, align);
#else
    return std::aligned_alloc(align, rounded);
#endif
}

void Release(void* memory) noexcept {
    if (memory == nullptr) return;
    deallocations.fetch_add(1, std::memory_order_relaxed);
    std::free(memory);
}

void ReleaseAligned(void* memory) noexcept {
    if (memory == nullptr) return;
    deallocations.fetch_add(1, std::memory_order_relaxed);
#ifdef _WIN32
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

}  // namespace

namespace testing_support {
std::uint64_t AllocationCount() { return allocations.load(std::memory_order_relaxed); }
std::uint64_t DeallocationCount() { return deallocations.load(std::memory_order_relaxed); }
}  // namespace testing_support

void* operator new(std::size_t size) {
    if (void* memory = Allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* memory = Allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* memory = AllocateAligned(size, alignment)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    if (void* memory = AllocateAligned(size, alignment)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { Release(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { Release(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { ReleaseAligned(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { ReleaseAligned(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { ReleaseAligned(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { ReleaseAligned(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { ReleaseAligned(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { ReleaseAligned(memory); }
