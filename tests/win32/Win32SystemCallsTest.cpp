// The win32 system-call seam against the real system (Wine on Linux). There
// is no USB driver here: the driver's device list is empty and its device
// names do not open. Overlapped transfers, time-outs and cancellation run
// on a named pipe opened the way a device is: FILE_FLAG_OVERLAPPED.
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
#include <string>

#include "usbio/UsbDevice.h"

namespace {

using platform::DWORD;
using platform::Win32SystemCalls;

constexpr platform::GUID USBIO_INTERFACE_CLASS = {
    0x325DDF96, 0x938C, 0x11D3, {0x9E, 0x34, 0x00, 0x80, 0xC8, 0x27, 0x27, 0xF4}};

TEST(Win32DeviceListTest, TheDriversListIsEmptyAndItsDeviceNamesDoNotOpen) {
    ASSERT_NE(dynamic_cast<Win32SystemCalls*>(&platform::Sys()), nullptr) << "the real seam by default";
    Win32SystemCalls calls;
    platform::HDEVINFO list =
        calls.SetupDiGetClassDevsA(&USBIO_INTERFACE_CLASS, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    platform::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(calls.SetupDiEnumDeviceInterfaces(list, nullptr, &USBIO_INTERFACE_CLASS, 0, &data));
    EXPECT_EQ(calls.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(calls.SetupDiDestroyDeviceInfoList(list));

    // The same through the device object.
    list = usbio::UsbDevice::CreateDeviceList(&USBIO_INTERFACE_CLASS);
    ASSERT_NE(list, nullptr);
    usbio::UsbDevice device;
    EXPECT_EQ(device.Open(0, list, &USBIO_INTERFACE_CLASS), usbio::USB_STATUS_NO_SUCH_INSTANCE);
    EXPECT_EQ(device.Open(0, nullptr, nullptr), usbio::USB_STATUS_DEVICE_NOT_FOUND);  // "\\.\USBIO_Device0"
    EXPECT_FALSE(device.IsOpen());
    usbio::UsbDevice::DestroyDeviceList(list);
}

// A pipe whose server end the test drives with the system directly and whose
// client end ("the device") is opened and used through the seam only.
class Win32OverlappedTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = "\\\\.\\pipe\\quelmar-seam-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        server_ = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
        device_ = calls_.CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE);
        overlapped_.hEvent = calls_.CreateEventA(nullptr, platform::TRUE_, platform::FALSE_, nullptr);
        ASSERT_NE(overlapped_.hEvent, nullptr);
    }
    void TearDown() override {
        EXPECT_TRUE(overlapped_.hEvent == nullptr || calls_.CloseHandle(overlapped_.hEvent));
        EXPECT_TRUE(device_ == INVALID_HANDLE_VALUE || calls_.CloseHandle(device_));
        if (server_ != INVALID_HANDLE_VALUE) ::CloseHandle(server_);
    }

    // A transfer on the server end, waited for with the system directly.
    ::DWORD Server(bool write, void* data, ::DWORD size) {
        ::OVERLAPPED o{};
        o.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ::DWORD done = 0;
        const BOOL ok = write ? ::WriteFile(server_, data, size, &done, &o) : ::ReadFile(server_, data, size, &done, &o);
        if (!ok) {
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
            EXPECT_TRUE(::GetOverlappedResult(server_, &o, &done, TRUE));
        }
        ::CloseHandle(o.hEvent);
        return done;
    }
    void ServerWrite(const char* text, DWORD size) { ASSERT_EQ(Server(true, const_cast<char*>(text), size), size); }

    // A read of `size` bytes on the device end that must stay pending.
    void SubmitPendingRead(DWORD size) {
        DWORD got = 0;
        ASSERT_FALSE(calls_.ReadFile(device_, buffer_.data(), size, &got, &overlapped_));
        ASSERT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    // Waits for the device end's transfer; the bytes moved, or the error.
    DWORD Result(DWORD& transferred, platform::BOOL wait = platform::TRUE_) {
        transferred = 77;
        return calls_.GetOverlappedResult(device_, &overlapped_, &transferred, wait) ? ERROR_SUCCESS
                                                                                     : calls_.GetLastError();
    }

    Win32SystemCalls calls_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    platform::HANDLE device_ = INVALID_HANDLE_VALUE;
    platform::OVERLAPPED overlapped_{};
    std::array<char, 16> buffer_{};
};

TEST_F(Win32OverlappedTest, APendingReadIsIncompleteTimesOutAndCompletesWhenDataArrive) {
    SubmitPendingRead(8);
    DWORD transferred = 0;
    EXPECT_EQ(Result(transferred, platform::FALSE_), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_EQ(calls_.WaitForSingleObject(overlapped_.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ServerWrite("\x02\x5A\x00\x04\x00\x00\x00\x00", 8);
    EXPECT_EQ(calls_.WaitForSingleObject(overlapped_.hEvent, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_EQ(Result(transferred, platform::FALSE_), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(transferred, 8u);
    EXPECT_EQ(std::string(buffer_.data(), 8), std::string("\x02\x5A\x00\x04\x00\x00\x00\x00", 8));
}

TEST_F(Win32OverlappedTest, AReadOfDataAlreadyThereIsDoneOnSubmission) {
    ServerWrite("abcd", 4);
    DWORD got = 0;
    if (!calls_.ReadFile(device_, buffer_.data(), 4, &got, &overlapped_)) {
        // The system may still report it pending; it is done once the event is set.
        ASSERT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    EXPECT_EQ(calls_.WaitForSingleObject(overlapped_.hEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_EQ(Result(got), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(std::string(buffer_.data(), got), "abcd");
}

TEST_F(Win32OverlappedTest, AnOverlappedWriteReachesTheOtherEnd) {
    const char command[16] = {1};
    DWORD written = 0;
    if (!calls_.WriteFile(device_, command, sizeof command, &written, &overlapped_)) {
        ASSERT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }
    std::array<char, 16> received{};
    EXPECT_EQ(Server(false, received.data(), 16), 16u);
    EXPECT_EQ(received[0], 1);
    ASSERT_EQ(Result(written), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(written, 16u);
}

TEST_F(Win32OverlappedTest, CancelIoAndCancelIoExAbortThePendingRead) {
    for (const bool one : {false, true}) {
        SCOPED_TRACE(one ? "CancelIoEx" : "CancelIo");
        SubmitPendingRead(8);
        EXPECT_TRUE(one ? calls_.CancelIoEx(device_, &overlapped_) : calls_.CancelIo(device_));
        DWORD transferred = 0;
        EXPECT_EQ(Result(transferred), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
        EXPECT_EQ(transferred, 0u);
    }
    EXPECT_FALSE(calls_.CancelIoEx(device_, &overlapped_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
}

TEST_F(Win32OverlappedTest, DeviceIoControlReturnsItsOutputAndByteCount) {
    // A pipe's peek request stands in for a driver request: no input, an
    // output record that the system fills.
    ServerWrite("xyz", 3);
    struct {
        DWORD state, available, messages, messageLength;
    } peek{};
    DWORD returned = 0;
    if (!calls_.DeviceIoControl(device_, 0x0011400C /* FSCTL_PIPE_PEEK */, nullptr, 0, &peek, sizeof peek,
                                &returned, &overlapped_)) {
        ASSERT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        ASSERT_EQ(Result(returned), static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(returned, sizeof peek);
    EXPECT_EQ(peek.available, 3u);
}

TEST_F(Win32OverlappedTest, CallsOnAClosedHandleFailWithInvalidHandle) {
    ASSERT_TRUE(calls_.CloseHandle(device_));
    const platform::HANDLE closed = device_;
    device_ = INVALID_HANDLE_VALUE;
    DWORD got = 0;
    EXPECT_FALSE(calls_.ReadFile(closed, buffer_.data(), 8, &got, &overlapped_));
    EXPECT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(calls_.CloseHandle(closed));
    EXPECT_EQ(calls_.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
