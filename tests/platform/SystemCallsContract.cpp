#include "tests/platform/SystemCallsContract.h"

#include <array>

#include "platform/DriverInterface.h"

namespace contract {
namespace {

using namespace platform;

// The device end of one side, its record's event auto-reset as the driver layer's buffers have.
struct Bench {
    explicit Bench(const SideFactory& factory, DWORD access = GENERIC_READ | GENERIC_WRITE)
        : side(factory.make()), calls(side->Calls()), device(side->OpenDevice(access)) {
        overlapped.hEvent = calls.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    }
    ~Bench() {
        EXPECT_TRUE(calls.CloseHandle(overlapped.hEvent));
        EXPECT_TRUE(device == INVALID_HANDLE_VALUE || calls.CloseHandle(device));
    }
    DWORD Error(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : calls.GetLastError(); }
    DWORD Read(DWORD size) { return Error(calls.ReadFile(device, buffer.data(), size, nullptr, &overlapped)); }
    DWORD Result(DWORD& transferred, BOOL wait) {
        transferred = 77;
        return Error(calls.GetOverlappedResult(device, &overlapped, &transferred, wait));
    }
    DWORD Wait(DWORD milliseconds) { return calls.WaitForSingleObject(overlapped.hEvent, milliseconds); }

    std::unique_ptr<SeamSide> side;
    SystemCalls& calls;
    HANDLE device;
    OVERLAPPED overlapped{};
    std::array<char, 16> buffer{};
};

TEST_P(SystemCallsContract, EventsAreAutoOrManualResetAndClosedHandlesAreInvalid) {
    Bench bench(GetParam());
    SystemCalls& calls = bench.calls;
    const HANDLE autoReset = calls.CreateEventA(nullptr, FALSE_, TRUE_, nullptr);
    const HANDLE manual = calls.CreateEventA(nullptr, TRUE_, TRUE_, nullptr);
    ASSERT_NE(autoReset, nullptr);
    EXPECT_EQ(calls.WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
    EXPECT_EQ(calls.WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT) << "the wait took the signal";
    EXPECT_EQ(calls.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(calls.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(calls.CloseHandle(autoReset));
    EXPECT_TRUE(calls.CloseHandle(manual));
    EXPECT_FALSE(calls.CloseHandle(manual));
    EXPECT_EQ(calls.GetLastError(), ERROR_INVALID_HANDLE);

    ASSERT_TRUE(calls.CloseHandle(bench.device));
    EXPECT_EQ(bench.Read(8), ERROR_INVALID_HANDLE);
    EXPECT_EQ(bench.Error(calls.CancelIo(bench.device)), ERROR_INVALID_HANDLE);
    bench.device = INVALID_HANDLE_VALUE;  // closed already
}

TEST_P(SystemCallsContract, APendingReadIsIncompleteUntilItsDataArriveOrItIsCancelled) {
    Bench bench(GetParam());
    ASSERT_EQ(bench.Read(8), ERROR_IO_PENDING);
    DWORD transferred = 0;
    EXPECT_EQ(bench.Result(transferred, FALSE_), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(bench.Wait(0), WAIT_TIMEOUT);
    const std::string packet("\x02\x5A\x00\x04\x00\x00\x00\x00", 8);
    bench.side->Send(packet);
    EXPECT_EQ(bench.Wait(INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(bench.Result(transferred, FALSE_), ERROR_SUCCESS);
    EXPECT_EQ(transferred, 8u);
    EXPECT_EQ(std::string(bench.buffer.data(), 8), packet);

    // Data already there: done on submission, or pending with the event set.
    bench.side->Send("abcd");
    const DWORD submitted = bench.Read(4);
    EXPECT_TRUE(submitted == ERROR_SUCCESS || submitted == ERROR_IO_PENDING) << submitted;
    ASSERT_EQ(bench.Result(transferred, TRUE_), ERROR_SUCCESS);
    EXPECT_EQ(std::string(bench.buffer.data(), transferred), "abcd");
    // Cancelled, by handle or by record: aborted with nothing moved.
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "CancelIoEx" : "CancelIo");
        ASSERT_EQ(bench.Read(8), ERROR_IO_PENDING);
        EXPECT_TRUE(named ? bench.calls.CancelIoEx(bench.device, &bench.overlapped)
                          : bench.calls.CancelIo(bench.device));
        EXPECT_EQ(bench.Result(transferred, TRUE_), ERROR_OPERATION_ABORTED);
        EXPECT_EQ(transferred, 0u);
    }
    EXPECT_FALSE(bench.calls.CancelIoEx(bench.device, &bench.overlapped)) << "nothing left under that record";
    EXPECT_EQ(bench.calls.GetLastError(), ERROR_NOT_FOUND);
}

TEST_P(SystemCallsContract, WritesAndControlRequestsReturnTheirByteCounts) {
    Bench bench(GetParam());
    const char command[16] = {1, 2, 3};
    DWORD done = 0;
    const DWORD written = bench.Error(bench.calls.WriteFile(bench.device, command, 16, &done, &bench.overlapped));
    EXPECT_TRUE(written == ERROR_SUCCESS || written == ERROR_IO_PENDING) << written;
    EXPECT_EQ(bench.side->Receive(16), std::string(command, 16));
    ASSERT_EQ(bench.Result(done, TRUE_), ERROR_SUCCESS);
    EXPECT_EQ(done, 16u);

    bench.side->Send("xyz");
    PeekRecord peek{};
    const DWORD asked = bench.Error(
        bench.calls.DeviceIoControl(bench.device, PEEK_CODE, nullptr, 0, &peek, sizeof peek, &done, &bench.overlapped));
    ASSERT_EQ(asked == ERROR_IO_PENDING ? bench.Result(done, TRUE_) : asked, ERROR_SUCCESS);
    EXPECT_EQ(done, sizeof peek);
    EXPECT_EQ(peek.available, 3u);
}

TEST_P(SystemCallsContract, ReadsAndWritesNeedTheHandlesAccess) {
    for (const bool reader : {true, false}) {
        Bench bench(GetParam(), reader ? GENERIC_READ : GENERIC_WRITE);
        DWORD done = 0;
        const DWORD refused =
            reader ? bench.Error(bench.calls.WriteFile(bench.device, "x", 1, &done, &bench.overlapped)) : bench.Read(8);
        EXPECT_EQ(refused, DWORD{5} /* ERROR_ACCESS_DENIED */) << reader;
        if (reader) {
            EXPECT_EQ(bench.Read(8), ERROR_IO_PENDING) << "the allowed read";
        }
        EXPECT_TRUE(bench.calls.CancelIo(bench.device));
    }
}

// No driver device is plugged in on either side here.
TEST_P(SystemCallsContract, WithoutDevicesTheDriversListIsEmptyAndItsNamesDoNotOpen) {
    const std::unique_ptr<SeamSide> side = GetParam().make();
    SystemCalls& calls = side->Calls();
    const HDEVINFO list =
        calls.SetupDiGetClassDevsA(&DRIVER_INTERFACE_CLASS, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(calls.SetupDiEnumDeviceInterfaces(list, nullptr, &DRIVER_INTERFACE_CLASS, 0, &data));
    EXPECT_EQ(calls.GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(calls.SetupDiDestroyDeviceInfoList(list));
    EXPECT_EQ(calls.CreateFileA("\\\\.\\USBIO_Device0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(calls.GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace contract
