// The win32 system-call seam against the real system (Wine on Linux). There
// is no USB driver here, so the driver's device list is empty and its
// device names do not open; overlapped transfers, time-outs and
// cancellation are exercised on a named pipe opened the way the driver
// access layer opens a device: FILE_FLAG_OVERLAPPED.
#include "platform/win32/Win32SystemCalls.h"

#include <gtest/gtest.h>

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>

#include <array>
#include <cstring>
#include <string>

namespace {

using platform::Win32SystemCalls;

// The driver's device-interface class.
constexpr platform::GUID USBIO_INTERFACE_CLASS = {
    0x325DDF96, 0x938C, 0x11D3, {0x9E, 0x34, 0x00, 0x80, 0xC8, 0x27, 0x27, 0xF4}};

constexpr platform::DWORD LIST_FLAGS = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

TEST(Win32DeviceListTest, DriverInterfaceListHasNoInterfaces) {
    Win32SystemCalls calls;
    platform::HDEVINFO list = calls.SetupDiGetClassDevsA(&USBIO_INTERFACE_CLASS, nullptr, nullptr, LIST_FLAGS);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);

    platform::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(calls.SetupDiEnumDeviceInterfaces(list, nullptr, &USBIO_INTERFACE_CLASS, 0, &data));
    EXPECT_EQ(calls.GetLastError(), static_cast<platform::DWORD>(ERROR_NO_MORE_ITEMS));

    EXPECT_TRUE(calls.SetupDiDestroyDeviceInfoList(list));
}

TEST(Win32DeviceListTest, InterfaceDetailOfAnUnknownInterfaceFailsWithoutTouchingTheRequiredSize) {
    Win32SystemCalls calls;
    platform::HDEVINFO list = calls.SetupDiGetClassDevsA(&USBIO_INTERFACE_CLASS, nullptr, nullptr, LIST_FLAGS);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    // An interface record that the list never handed out.
    platform::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    platform::DWORD required = 12345;
    EXPECT_FALSE(calls.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr));
    EXPECT_NE(calls.GetLastError(), static_cast<platform::DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(calls.SetupDiDestroyDeviceInfoList(list));
}

TEST(Win32DeviceListTest, DriverDeviceNameDoesNotOpen) {
    Win32SystemCalls calls;
    platform::HANDLE device =
        calls.CreateFileA("\\\\.\\USBIO_Device0", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(calls.GetLastError(), static_cast<platform::DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32DefaultSystemCallsTest, IsOneWin32Instance) {
    platform::SystemCalls& first = platform::DefaultSystemCalls();
    EXPECT_EQ(&first, &platform::DefaultSystemCalls());
    EXPECT_NE(dynamic_cast<Win32SystemCalls*>(&first), nullptr);
    EXPECT_EQ(&platform::Sys(), &first);
}

// A pipe whose server end the test drives with the system directly and whose
// client end ("the device") is opened and used through the seam only.
class Win32OverlappedTest : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = "\\\\.\\pipe\\quelmar-seam-" + std::to_string(::GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        server_ = ::CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        device_ = calls_.CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE);
        event_ = calls_.CreateEventA(nullptr, platform::TRUE_, platform::FALSE_, nullptr);
        ASSERT_NE(event_, nullptr);
        overlapped_.hEvent = event_;
    }

    void TearDown() override {
        if (event_) {
            EXPECT_TRUE(calls_.CloseHandle(event_));
        }
        if (device_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(calls_.CloseHandle(device_));
        }
        if (server_ != INVALID_HANDLE_VALUE) ::CloseHandle(server_);
    }

    // Writes from the server end and waits until the pipe has taken the bytes.
    void ServerWrite(const void* data, DWORD size) {
        ::OVERLAPPED write{};
        write.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        if (!::WriteFile(server_, data, size, &written, &write)) {
            ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            ASSERT_TRUE(::GetOverlappedResult(server_, &write, &written, TRUE));
        }
        ::CloseHandle(write.hEvent);
        ASSERT_EQ(written, size);
    }

    std::string ServerRead(DWORD size) {
        std::string data(size, '\0');
        ::OVERLAPPED read{};
        read.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD got = 0;
        if (!::ReadFile(server_, data.data(), size, &got, &read)) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            EXPECT_TRUE(::GetOverlappedResult(server_, &read, &got, TRUE));
        }
        ::CloseHandle(read.hEvent);
        data.resize(got);
        return data;
    }

    // Submits a read of `size` bytes on the device end that must stay pending.
    void SubmitPendingRead(platform::DWORD size) {
        platform::DWORD got = 0;
        ASSERT_FALSE(calls_.ReadFile(device_, buffer_.data(), size, &got, &overlapped_));
        ASSERT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_IO_PENDING));
    }

    Win32SystemCalls calls_;
    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    platform::HANDLE device_ = INVALID_HANDLE_VALUE;
    platform::HANDLE event_ = nullptr;
    platform::OVERLAPPED overlapped_{};
    std::array<char, 16> buffer_{};
};

TEST_F(Win32OverlappedTest, PendingReadCompletesWhenDataArrives) {
    SubmitPendingRead(8);
    platform::DWORD transferred = 77;
    EXPECT_FALSE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::FALSE_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_IO_INCOMPLETE));

    ServerWrite("\x02\x5A\x00\x04\x00\x00\x00\x00", 8);
    EXPECT_EQ(calls_.WaitForSingleObject(event_, INFINITE), static_cast<platform::DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::FALSE_));
    EXPECT_EQ(transferred, 8u);
    EXPECT_EQ(std::memcmp(buffer_.data(), "\x02\x5A\x00\x04\x00\x00\x00\x00", 8), 0);
}

TEST_F(Win32OverlappedTest, ReadOfDataAlreadyThereCompletesOnSubmission) {
    ServerWrite("abcd", 4);
    platform::DWORD got = 0;
    if (!calls_.ReadFile(device_, buffer_.data(), 4, &got, &overlapped_)) {
        // The system may still report the transfer as pending; it is done
        // once the event is set.
        ASSERT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_IO_PENDING));
    }
    EXPECT_EQ(calls_.WaitForSingleObject(event_, 0), static_cast<platform::DWORD>(WAIT_OBJECT_0));
    platform::DWORD transferred = 0;
    ASSERT_TRUE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::TRUE_));
    EXPECT_EQ(transferred, 4u);
    EXPECT_EQ(std::string(buffer_.data(), 4), "abcd");
}

TEST_F(Win32OverlappedTest, WaitOnAPendingReadTimesOut) {
    SubmitPendingRead(8);
    EXPECT_EQ(calls_.WaitForSingleObject(event_, 0), static_cast<platform::DWORD>(WAIT_TIMEOUT));
    // The transfer is still outstanding and still completes afterwards.
    ServerWrite("12345678", 8);
    platform::DWORD transferred = 0;
    ASSERT_TRUE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::TRUE_));
    EXPECT_EQ(transferred, 8u);
}

TEST_F(Win32OverlappedTest, OverlappedWriteReachesTheOtherEnd) {
    const char command[16] = {1};
    platform::DWORD written = 0;
    if (!calls_.WriteFile(device_, command, sizeof command, &written, &overlapped_)) {
        ASSERT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_IO_PENDING));
    }
    EXPECT_EQ(ServerRead(16), std::string(command, 16));
    platform::DWORD transferred = 0;
    ASSERT_TRUE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::TRUE_));
    EXPECT_EQ(transferred, 16u);
}

TEST_F(Win32OverlappedTest, CancelIoAbortsThePendingRead) {
    SubmitPendingRead(8);
    EXPECT_TRUE(calls_.CancelIo(device_));
    platform::DWORD transferred = 55;
    EXPECT_FALSE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::TRUE_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(transferred, 0u);
}

TEST_F(Win32OverlappedTest, CancelIoExAbortsOneTransferAndThenFindsNothing) {
    SubmitPendingRead(8);
    EXPECT_TRUE(calls_.CancelIoEx(device_, &overlapped_));
    platform::DWORD transferred = 0;
    EXPECT_FALSE(calls_.GetOverlappedResult(device_, &overlapped_, &transferred, platform::TRUE_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_OPERATION_ABORTED));

    EXPECT_FALSE(calls_.CancelIoEx(device_, &overlapped_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_NOT_FOUND));
}

TEST_F(Win32OverlappedTest, DeviceIoControlReturnsItsOutputAndByteCount) {
    // A pipe's peek request stands in for a driver request: input none,
    // output a record that the system fills.
    ServerWrite("xyz", 3);
    struct {
        DWORD state;
        DWORD available;
        DWORD messages;
        DWORD messageLength;
    } peek{};
    constexpr platform::DWORD FSCTL_PIPE_PEEK_CODE = 0x0011400C;
    platform::DWORD returned = 0;
    if (!calls_.DeviceIoControl(device_, FSCTL_PIPE_PEEK_CODE, nullptr, 0, &peek, sizeof peek, &returned,
                                &overlapped_)) {
        ASSERT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_IO_PENDING));
        ASSERT_TRUE(calls_.GetOverlappedResult(device_, &overlapped_, &returned, platform::TRUE_));
    }
    EXPECT_EQ(returned, sizeof peek);
    EXPECT_EQ(peek.available, 3u);
}

TEST_F(Win32OverlappedTest, CallsOnAClosedHandleFailWithInvalidHandle) {
    ASSERT_TRUE(calls_.CloseHandle(device_));
    platform::HANDLE closed = device_;
    device_ = INVALID_HANDLE_VALUE;
    platform::DWORD got = 0;
    EXPECT_FALSE(calls_.ReadFile(closed, buffer_.data(), 8, &got, &overlapped_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(calls_.CloseHandle(closed));
    EXPECT_EQ(calls_.GetLastError(), static_cast<platform::DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
