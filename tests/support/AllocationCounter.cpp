// Counting plain operator new/delete; the array, nothrow and sized forms call these. Nothing here allocates
// over-aligned types, so their forms stay the library's (uncounted, and paired with each other).
#include "tests/support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

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

void operator delete(void* memory) noexcept {
    if (memory != nullptr) deallocations.fetch_add(1, std::memory_order_relaxed);
    std::free(memory);
}

// The sized form, which the compiler wants defined alongside.
void operator delete(void* memory, std::size_t) noexcept { ::operator delete(memory); }
