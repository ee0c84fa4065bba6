// A test-only count of the process's heap allocations: global operator new
// and delete are replaced (AllocationCounter.cpp) so that tests and
// benchmarks can tell whether a piece of code allocates. Linked only into the
// executables that ask for it (target quelmar_allocation_counter), never
// into the program.
#pragma once

#include <cstdint>

namespace testing_support {

// Calls of any form of operator new since the process started.
std::uint64_t AllocationCount();
// Calls of any form of operator delete on a non-null pointer.
std::uint64_t DeallocationCount();
// Allocations not yet released: what a piece of code left behind is the
// growth of this figure across it.
inline std::int64_t LiveAllocations() {
    return static_cast<std::int64_t>(AllocationCount()) - static_cast<std::int64_t>(DeallocationCount());
}

// The allocations made during its life.
class AllocationScope {
public:
    AllocationScope() : start_(AllocationCount()) {}
    std::uint64_t Allocations() const { return AllocationCount() - start_; }

private:
    std::uint64_t start_;
};

}  // namespace testing_support
