// A count of the process's heap allocations, linked only where asked for.
#pragma once

#include <cstdint>

namespace testing_support {

// Calls of any form of operator new since the process started.
std::uint64_t AllocationCount();
// Calls of any form of operator delete on a non-null pointer.
std::uint64_t DeallocationCount();
// Allocations not yet released: what code left behind is its growth.
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
