// What the driver layer relies on from the system-call seam, run against the
// emulated kernel and against Win32SystemCalls under Wine. Each side opens a
// "device" for overlapped I/O and drives its far end directly (a named pipe
// on Win32, an emulated byte pipe in the kernel).
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
    virtual platform::HANDLE OpenDevice(platform::DWORD access) = 0;  // with FILE_FLAG_OVERLAPPED
    virtual void Send(std::string_view bytes) = 0;                    // far end: bytes for the device's reads
    virtual std::string Receive(std::size_t size) = 0;                // far end: bytes the device wrote
};

// The contract's control request: no input; the output says how many bytes wait.
constexpr platform::DWORD PEEK_CODE = 0x0011400C;  // FSCTL_PIPE_PEEK
struct PeekRecord {
    platform::DWORD state, available, messages, messageLength;
};

struct SideFactory {
    const char* name;
    std::function<std::unique_ptr<SeamSide>()> make;
};

class SystemCallsContract : public ::testing::TestWithParam<SideFactory> {};

// Runs the contract against the given sides (the program links SystemCallsContract.cpp).
#define QUELMAR_SYSTEM_CALLS_CONTRACT(prefix, ...)                                           \
    namespace contract {                                                                     \
    INSTANTIATE_TEST_SUITE_P(prefix, SystemCallsContract, ::testing::Values(__VA_ARGS__),    \
                             [](const auto& info) { return std::string(info.param.name); }); \
    }

}  // namespace contract
