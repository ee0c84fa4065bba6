// What the driver layer relies on from the system-call seam, written once
// and run against each implementation: the emulated kernel (every build) and
// Win32SystemCalls on the real system (under Wine). Each side provides a
// "device" opened through the seam for overlapped I/O and drives its far end
// directly: a named pipe on Win32, an emulated byte pipe in the kernel.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemCalls.h"

namespace contract {

class SeamSide {
public:
    virtual ~SeamSide() = default;
    virtual platform::SystemCalls& Calls() = 0;
    // The device end, opened through the seam with FILE_FLAG_OVERLAPPED.
    virtual platform::HANDLE OpenDevice(platform::DWORD access) = 0;
    // The far end: makes bytes available to the device end's reads.
    virtual void Send(std::string_view bytes) = 0;
    // The far end: takes `size` bytes that the device end wrote.
    virtual std::string Receive(std::size_t size) = 0;
};

// The control request of the contract: no input, and an output record in
// which the far end reports how many bytes wait to be read.
constexpr platform::DWORD PEEK_CODE = 0x0011400C;  // FSCTL_PIPE_PEEK
struct PeekRecord {
    platform::DWORD state, available, messages, messageLength;
};

struct SideFactory {
    const char* name;
    std::function<std::unique_ptr<SeamSide>()> make;
};

class SystemCallsContract : public ::testing::TestWithParam<SideFactory> {};

// Runs the contract against the given sides, in the test program that links
// SystemCallsContract.cpp.
#define QUELMAR_SYSTEM_CALLS_CONTRACT(prefix, ...)                                           \
    namespace contract {                                                                     \
    INSTANTIATE_TEST_SUITE_P(prefix, SystemCallsContract, ::testing::Values(__VA_ARGS__),    \
                             [](const auto& info) { return std::string(info.param.name); }); \
    }

}  // namespace contract
