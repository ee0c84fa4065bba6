// The seam's contract on an emulated byte pipe, then what only the emulation has (virtual clock, slow cancels).
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/emulated/EmulatedKernel.h"
#include "tests/platform/SystemCallsContract.h"

using namespace platform;
using namespace platform::emulated;

namespace {

// One end of a pipe: writes are taken at once, reads wait for data, due at `dueAt` on the clock if set.
class PipeDevice final : public EmulatedDevice {
public:
    std::string HardwareId() const override { return "vid_1234&pid_5678"; }
    std::uintptr_t OpenHandle() override { return ++opened; }
    void CloseHandle(std::uintptr_t) override { ++closed; }
    SubmitResult Submit(RequestId id, const IoRequest& request, IoCompletion&, Micros now) override {
        if (request.kind == IoRequest::Kind::Write) {
            written.append(reinterpret_cast<const char*>(request.input), request.inputSize);
            return SubmitResult{false, 0, request.inputSize};
        }
        if (request.code == contract::PEEK_CODE && request.outputSize >= sizeof(contract::PeekRecord)) {
            const contract::PeekRecord peek{0, static_cast<DWORD>(waiting.size()), 0, 0};
            std::memcpy(request.output, &peek, sizeof peek);
            return SubmitResult{false, 0, sizeof peek};
        }
        if (reads.empty() && Available(now)) return SubmitResult{false, 0, Take(request)};
        reads.emplace_back(id, request);
        return SubmitResult{true, 0, 0};
    }
    void Cancel(RequestId id, IoCompletion& c, Micros) override {
        std::erase_if(reads, [id](const auto& read) { return read.first == id; });
        c.Complete(id, ERROR_OPERATION_ABORTED, 0);
    }
    std::optional<Micros> NextEventTime(Micros now) const override {
        if (reads.empty() || waiting.empty()) return std::nullopt;
        return dueAt.value_or(now);
    }
    void Advance(IoCompletion& c, Micros now) override {
        while (!reads.empty() && Available(now)) {
            const auto [id, request] = reads.front();
            reads.erase(reads.begin());
            c.Complete(id, 0, Take(request));
        }
    }

    std::string waiting, written;
    std::optional<Micros> dueAt;
    std::vector<std::pair<RequestId, IoRequest>> reads;
    int opened = 0, closed = 0;

private:
    bool Available(Micros now) const { return !waiting.empty() && (!dueAt || *dueAt <= now); }
    DWORD Take(const IoRequest& request) {
        const std::size_t n = std::min<std::size_t>(request.outputSize, waiting.size());
        if (n > 0) std::memcpy(request.output, waiting.data(), n);
        waiting.erase(0, n);
        return static_cast<DWORD>(n);
    }
};

// The pipe is plugged in when first opened, so that a fresh side has no devices.
class EmulatedSide : public contract::SeamSide {
public:
    SystemCalls& Calls() override { return kernel; }
    HANDLE OpenDevice(DWORD access) override { return Open(FILE_FLAG_OVERLAPPED, access); }
    void Send(std::string_view bytes) override { pipe->waiting.append(bytes); }
    std::string Receive(std::size_t) override { return std::exchange(pipe->written, {}); }  // all it wrote
    HANDLE Open(DWORD flags = FILE_FLAG_OVERLAPPED, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        if (pipe->opened == 0) static_cast<void>(kernel.AttachDevice(pipe));
        return kernel.CreateFileA("\\\\.\\USBIO_Device0", access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }

    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<PipeDevice> pipe = std::make_shared<PipeDevice>();
};

class KernelTest : public ::testing::Test, public EmulatedSide {
protected:
    OVERLAPPED Record() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
        return overlapped;
    }
    DWORD Error(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : kernel.GetLastError(); }
    DWORD Read(HANDLE file, OVERLAPPED& record) { return Error(kernel.ReadFile(file, data, 8, nullptr, &record)); }
    DWORD Result(HANDLE file, OVERLAPPED& record, BOOL wait) {
        count = 77;
        return Error(kernel.GetOverlappedResult(file, &record, &count, wait));
    }
    std::uint8_t data[8] = {};
    DWORD count = 0;
};

TEST_F(KernelTest, WaitsAndBlockingCallsRunOnTheVirtualClock) {
    const HANDLE event = kernel.CreateEventA(nullptr, TRUE_, FALSE_, nullptr);
    EXPECT_EQ(kernel.WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    EXPECT_EQ(clock.Now(), 100'000) << "a timed wait jumps the clock to its deadline";
    // Nothing will ever signal it: an unbounded wait fails instead of hanging the test.
    EXPECT_EQ(kernel.WaitForSingleObject(event, INFINITE), WAIT_FAILED);

    // Without overlapped I/O the call itself waits, so no time-out of the caller's could run out (a waiting
    // GetOverlappedResult jumps to the driver's time too: tests/usbio's UsbDeviceTest; waits on events: UsbPipeTest).
    const HANDLE blocking = Open(0);
    OVERLAPPED record = Record();
    pipe->waiting = "12345";
    pipe->dueAt = 450'000;
    EXPECT_EQ((std::tuple{Read(blocking, record), clock.Now()}), std::tuple(ERROR_SUCCESS, 450'000));
    EXPECT_EQ(kernel.WaitForSingleObject(record.hEvent, 0), WAIT_OBJECT_0) << "the record's event is signalled";
    EXPECT_EQ((std::tuple{Result(blocking, record, FALSE_), count}), std::tuple(ERROR_SUCCESS, 5u));
    for (HANDLE h : {event, blocking, record.hEvent}) EXPECT_TRUE(kernel.CloseHandle(h));
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

TEST_F(KernelTest, CancellationsReachOnlyTheirRequestsAndWhenSlowLeaveThemOutstandingOrAbandoned) {
    const HANDLE mine = Open();
    OVERLAPPED first = Record(), second = Record(), theirs = Record(), overlapped = Record(), closed = Record();
    ASSERT_EQ(Read(mine, first), ERROR_IO_PENDING);
    ASSERT_EQ(Read(mine, second), ERROR_IO_PENDING);
    std::thread([&] { EXPECT_EQ(Read(mine, theirs), ERROR_IO_PENDING); }).join();
    EXPECT_TRUE(kernel.CancelIoEx(mine, &second));
    EXPECT_EQ(Result(mine, first, FALSE_), ERROR_IO_INCOMPLETE) << "CancelIoEx: only the named record";
    EXPECT_TRUE(kernel.CancelIo(mine));
    EXPECT_EQ(Result(mine, theirs, FALSE_), ERROR_IO_INCOMPLETE) << "CancelIo: only the calling thread's";
    // A slow cancellation leaves the request outstanding until it reaches the driver.
    kernel.SetCancelDelay(30'000);
    ASSERT_EQ(Read(mine, overlapped), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIoEx(mine, &overlapped));
    EXPECT_EQ(Result(mine, overlapped, FALSE_), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(kernel.CancelIoEx(mine, &overlapped)) << "still there; asking again changes nothing";
    EXPECT_EQ((std::tuple{kernel.WaitForSingleObject(overlapped.hEvent, 100), clock.Now()}),
              std::tuple(WAIT_OBJECT_0, 30'000));
    EXPECT_EQ(Result(mine, overlapped, FALSE_), ERROR_OPERATION_ABORTED);
    // Closing the handle cancels what is left at once.
    ASSERT_EQ(Read(mine, closed), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIo(mine));
    EXPECT_TRUE(kernel.CloseHandle(mine));
    EXPECT_EQ(std::tuple(kernel.PendingRequestCount(), pipe->closed, clock.Now()), std::tuple(0u, 1, 30'000))
        << "also the other thread's, at once";
    // A record released before its cancellation ended it is caught, and never written afterwards.
    const HANDLE other = Open();
    ASSERT_EQ(Read(other, overlapped), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIoEx(other, &overlapped));
    EXPECT_TRUE(kernel.CloseHandle(overlapped.hEvent));
    EXPECT_EQ(std::tuple(kernel.AbandonedRequestCount(), kernel.PendingRequestCount()), std::tuple(1u, 0u));
    overlapped.Internal = 0xDEAD;
    clock.Advance(100'000);
    kernel.RunDue();
    EXPECT_EQ(overlapped.Internal, 0xDEADu);
    EXPECT_TRUE(pipe->reads.empty()) << "the driver was told to drop it";
}

// Only lists made without DIGCF_PRESENT hold the absent device, not active (paths: tests/usbio's UsbDeviceTest).
TEST_F(KernelTest, DeviceListsAndTheirDetails) {
    static_cast<void>(kernel.AttachDevice(pipe));
    static_cast<void>(kernel.AttachDevice(std::make_shared<PipeDevice>()));
    kernel.DetachDevice(0);
    const GUID* klass = &DRIVER_INTERFACE_CLASS;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (const DWORD flags : {DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, DIGCF_DEVICEINTERFACE}) {
        SCOPED_TRACE(flags);
        const HDEVINFO list = kernel.SetupDiGetClassDevsA(klass, nullptr, nullptr, flags);
        const bool all = (flags & DIGCF_PRESENT) == 0;
        ASSERT_TRUE(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, klass, 0, &data));
        EXPECT_EQ(data.Flags, all ? 0u : 1u);
        EXPECT_EQ(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, klass, 1, &data), all);
        EXPECT_EQ(data.Flags, 1u);
        EXPECT_FALSE(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, klass, 2, &data));
        DWORD required = 0;
        EXPECT_FALSE(kernel.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr));
        EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail[64]{};
        detail->cbSize = 1;  // a wrong size is refused like the system does
        EXPECT_FALSE(kernel.SetupDiGetDeviceInterfaceDetailA(list, &data, detail, sizeof detail, nullptr, nullptr));
        EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_USER_BUFFER);
        EXPECT_TRUE(kernel.SetupDiDestroyDeviceInfoList(list));
    }
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

}  // namespace

QUELMAR_SYSTEM_CALLS_CONTRACT(Seam, ::contract::SideFactory{"EmulatedKernel",
                                                            [] { return std::make_unique<EmulatedSide>(); }});
