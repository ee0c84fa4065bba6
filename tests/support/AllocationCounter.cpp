// Counting plain and aligned operator new/delete; the array and nothrow forms call these.
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

}  // namespace

namespace testing_support {
std::uint64_t AllocationCount() { return allocations.load(std::memory_order_relaxed); }
std::uint64_t DeallocationCount() { return deallocations.load(std::memory_order_relaxed); }
}  // namespace testing_support

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
#ifdef _WIN32
    void* memory = _aligned_malloc(rounded, align);
#else
    void* memory = std::aligned_alloc(align, rounded);
#endif
    if (memory != nullptr) return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    if (memory != nullptr) deallocations.fetch_add(1, std::memory_order_relaxed);
    std::free(memory);
}

void operator delete(void* memory, std::align_val_t) noexcept {
    if (memory != nullptr) deallocations.fetch_add(1, std::memory_order_relaxed);
#ifdef _WIN32
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

// The sized forms, which the compiler wants defined alongside.
void operator delete(void* memory, std::size_t) noexcept { ::operator delete(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t alignment) noexcept {
    ::operator delete(memory, alignment);
}
