// The seam's contract against the real system (Wine). No USB driver here: the "device" is a named pipe's
// client end, opened through the seam as a device is (overlapped); the test drives the server end directly.
#include "platform/win32/Win32SystemCalls.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "tests/platform/SystemCallsContract.h"

namespace {

class Win32Side final : public contract::SeamSide {
public:
    Win32Side() {
        static int pipes = 0;
        name_ = "\\\\.\\pipe\\quelmar-seam-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++pipes);
        server_ = ::CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
        EXPECT_NE(server_, INVALID_HANDLE_VALUE);
    }
    ~Win32Side() override { ::CloseHandle(server_); }

    platform::SystemCalls& Calls() override { return calls_; }
    platform::HANDLE OpenDevice(platform::DWORD access) override {
        return calls_.CreateFileA(name_.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    }
    void Send(std::string_view bytes) override { EXPECT_EQ(Transfer(true, std::string(bytes)), bytes); }
    std::string Receive(std::size_t size) override { return Transfer(false, std::string(size, '\0')); }

private:
    // A transfer on the server end, waited for with the system directly: the bytes moved.
    std::string Transfer(bool write, std::string data) {
        OVERLAPPED o{};
        o.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const DWORD size = static_cast<DWORD>(data.size());
        DWORD done = 0;
        if (!(write ? ::WriteFile(server_, data.data(), size, &done, &o)
                    : ::ReadFile(server_, data.data(), size, &done, &o))) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            EXPECT_TRUE(::GetOverlappedResult(server_, &o, &done, TRUE));
        }
        ::CloseHandle(o.hEvent);
        data.resize(done);
        return data;
    }

    platform::Win32SystemCalls calls_;
    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
};

TEST(Win32SystemCallsTest, TheRealSeamIsTheDefault) {
    EXPECT_NE(dynamic_cast<platform::Win32SystemCalls*>(&platform::Sys()), nullptr);
}

}  // namespace

QUELMAR_SYSTEM_CALLS_CONTRACT(Seam, ::contract::SideFactory{"Win32SystemCalls",
                                                            [] { return std::make_unique<Win32Side>(); }});
