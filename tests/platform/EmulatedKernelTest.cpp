// The emulated kernel: the seam's contract (tests/platform/SystemCallsContract.cpp)
// on an emulated byte pipe, then what only the emulation has: the virtual
// clock, handles without overlapped I/O, slow cancellations, abandoned
// records and device lists with devices in them.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/emulated/EmulatedKernel.h"
#include "tests/platform/SystemCallsContract.h"

using namespace platform;
using namespace platform::emulated;

namespace {

// One end of a pipe: writes are taken at once, reads (and control requests
// other than the peek) wait for data, which arrive when the test sends them,
// at `dueAt` on the clock if set.
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
        c.Complete(id, cancelStatus, cancelBytes);
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
    DWORD cancelStatus = ERROR_OPERATION_ABORTED, cancelBytes = 0;
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
    HANDLE OpenDevice(DWORD access) override { return Open(access, FILE_FLAG_OVERLAPPED); }
    void Send(std::string_view bytes) override { pipe->waiting.append(bytes); }
    std::string Receive(std::size_t size) override {
        const std::string taken = pipe->written.substr(0, size);
        pipe->written.erase(0, size);
        return taken;
    }
    HANDLE Open(DWORD access, DWORD flags) {
        if (pipe->opened == 0) static_cast<void>(kernel.AttachDevice(pipe));
        return kernel.CreateFileA("\\\\.\\USBIO_Device0", access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }

    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<PipeDevice> pipe = std::make_shared<PipeDevice>();
};

class KernelTest : public ::testing::Test, public EmulatedSide {
protected:
    HANDLE Open(DWORD flags = FILE_FLAG_OVERLAPPED) { return EmulatedSide::Open(GENERIC_READ | GENERIC_WRITE, flags); }
    OVERLAPPED Record() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
        return overlapped;
    }
    DWORD Read(HANDLE file, OVERLAPPED& overlapped) {
        return kernel.ReadFile(file, data, 8, nullptr, &overlapped) ? ERROR_SUCCESS : kernel.GetLastError();
    }
    DWORD Result(HANDLE file, OVERLAPPED& overlapped, BOOL wait) {
        count = 77;
        return kernel.GetOverlappedResult(file, &overlapped, &count, wait) ? ERROR_SUCCESS : kernel.GetLastError();
    }
    // A read pending on `file` whose data are due at `at`.
    void ReadDue(HANDLE file, OVERLAPPED& overlapped, Micros at) {
        ASSERT_EQ(Read(file, overlapped), ERROR_IO_PENDING);
        pipe->waiting = "12345";
        pipe->dueAt = at;
    }

    std::uint8_t data[8] = {};
    DWORD count = 0;
};

TEST_F(KernelTest, WaitsRunOnTheVirtualClock) {
    const HANDLE event = kernel.CreateEventA(nullptr, TRUE_, FALSE_, nullptr);
    EXPECT_EQ(kernel.WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    EXPECT_EQ(clock.Now(), 100'000) << "a timed wait jumps the clock to its deadline";
    // Nothing will ever signal it: an unbounded wait fails instead of hanging the test.
    EXPECT_EQ(kernel.WaitForSingleObject(event, INFINITE), WAIT_FAILED);

    // A waiting GetOverlappedResult moves the clock to the device's time, not
    // a deadline (waits on a transfer's event are tests/usbio's UsbPipeTest).
    const HANDLE file = Open();
    OVERLAPPED overlapped = Record();
    ReadDue(file, overlapped, 290'000);
    EXPECT_EQ(Result(file, overlapped, TRUE_), ERROR_SUCCESS);
    EXPECT_EQ(clock.Now(), 290'000);
    for (HANDLE h : {event, file, overlapped.hEvent}) EXPECT_TRUE(kernel.CloseHandle(h));
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

TEST_F(KernelTest, AHandleOpenedWithoutOverlappedIoEndsEveryRequestBeforeTheCallReturns) {
    const HANDLE file = Open(0);
    OVERLAPPED overlapped = Record();
    pipe->waiting = "12345";
    pipe->dueAt = 250'000;
    // No ERROR_IO_PENDING: the call itself waits, so no time-out of the caller's could run out.
    EXPECT_EQ(Read(file, overlapped), ERROR_SUCCESS);
    EXPECT_EQ(clock.Now(), 250'000);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0) << "the record's event is signalled";
    EXPECT_EQ(Result(file, overlapped, FALSE_), ERROR_SUCCESS);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
}

TEST_F(KernelTest, ASlowCancellationLeavesTheRequestOutstandingUntilItReachesTheDriverOrItsRecordIsAbandoned) {
    const HANDLE file = Open();
    kernel.SetCancelDelay(30'000);
    OVERLAPPED overlapped = Record();
    ASSERT_EQ(Read(file, overlapped), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIoEx(file, &overlapped));
    EXPECT_EQ(Result(file, overlapped, FALSE_), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(kernel.CancelIoEx(file, &overlapped)) << "still there; asking again changes nothing";
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 100), WAIT_OBJECT_0);
    EXPECT_EQ(clock.Now(), 30'000);
    EXPECT_EQ(Result(file, overlapped, FALSE_), ERROR_OPERATION_ABORTED);
    // A request that ends by itself before the cancellation arrives succeeds.
    ReadDue(file, overlapped, clock.Now() + 10'000);
    EXPECT_TRUE(kernel.CancelIo(file));
    EXPECT_EQ(Result(file, overlapped, TRUE_), ERROR_SUCCESS);
    EXPECT_EQ(clock.Now(), 40'000);
    // Closing the handle cancels at once.
    OVERLAPPED closed = Record();
    ASSERT_EQ(Read(file, closed), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIo(file));
    EXPECT_TRUE(kernel.CloseHandle(file));
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(clock.Now(), 40'000);
    // A record released before its cancellation ended it is caught, and never written afterwards.
    const HANDLE other = Open();
    ASSERT_EQ(Read(other, overlapped), ERROR_IO_PENDING);
    EXPECT_TRUE(kernel.CancelIoEx(other, &overlapped));
    EXPECT_TRUE(kernel.CloseHandle(overlapped.hEvent));
    EXPECT_EQ(kernel.AbandonedRequestCount(), 1u);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    overlapped.Internal = 0xDEAD;
    clock.Advance(100'000);
    kernel.RunDue();
    EXPECT_EQ(overlapped.Internal, 0xDEADu);
    EXPECT_TRUE(pipe->reads.empty()) << "the driver was told to drop it";
}

TEST_F(KernelTest, CancellationsReachOnlyTheirRequests) {
    const HANDLE file = Open();
    OVERLAPPED first = Record(), second = Record(), theirs = Record();
    ASSERT_EQ(Read(file, first), ERROR_IO_PENDING);
    ASSERT_EQ(Read(file, second), ERROR_IO_PENDING);
    std::thread([&] { EXPECT_EQ(Read(file, theirs), ERROR_IO_PENDING); }).join();
    EXPECT_TRUE(kernel.CancelIoEx(file, &second));
    EXPECT_EQ(Result(file, first, FALSE_), ERROR_IO_INCOMPLETE) << "CancelIoEx: only the named record";
    // A transfer whose data won the race completes successfully.
    pipe->cancelStatus = 0;
    pipe->cancelBytes = 8;
    EXPECT_TRUE(kernel.CancelIo(file));
    EXPECT_EQ(Result(file, first, FALSE_), ERROR_SUCCESS);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(Result(file, theirs, FALSE_), ERROR_IO_INCOMPLETE) << "CancelIo: only the calling thread's";
    EXPECT_TRUE(kernel.CloseHandle(file));
    EXPECT_EQ(kernel.PendingRequestCount(), 0u) << "closing cancels what is left";
    EXPECT_EQ(pipe->closed, 1);
}

// Only lists made without DIGCF_PRESENT hold the absent device, not active.
// Paths and what an old list opens are seen through tests/usbio's UsbDeviceTest.
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
        EXPECT_EQ(kernel.GetLastError(), ERROR_NO_MORE_ITEMS);
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
