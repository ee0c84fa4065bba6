// The emulated kernel against the Win32 semantics the driver layer relies
// on: events, overlapped requests, waits on the virtual clock, cancellation,
// device lists and names. The driver's statuses passing through it are seen
// through the device and pipe objects in tests/usbio.
#include <gtest/gtest.h>

#include <thread>

#include "platform/emulated/EmulatedKernel.h"

using namespace platform;
using namespace platform::emulated;

namespace {

// A device whose requests the test finishes by hand.
class ManualDevice final : public EmulatedDevice {
public:
    std::string HardwareId() const override { return "vid_1234&pid_5678"; }
    std::uintptr_t OpenHandle() override { return ++opened; }
    void CloseHandle(std::uintptr_t) override { ++closed; }
    SubmitResult Submit(RequestId id, const IoRequest& request, IoCompletion&, Micros) override {
        last = request;
        pending.push_back(id);
        return SubmitResult{true, 0, 0};
    }
    void Cancel(RequestId id, IoCompletion& c, Micros) override {
        std::erase(pending, id);
        c.Complete(id, cancelStatus, cancelBytes);
    }
    std::optional<Micros> NextEventTime(Micros) const override { return dueAt; }
    void Advance(IoCompletion& c, Micros now) override {
        if (dueAt && *dueAt <= now && !pending.empty()) {
            const RequestId id = pending.front();
            pending.erase(pending.begin());
            dueAt.reset();
            c.Complete(id, 0, 5);
        }
    }

    DWORD cancelStatus = ERROR_OPERATION_ABORTED;
    DWORD cancelBytes = 0;
    std::optional<Micros> dueAt;
    std::vector<RequestId> pending;
    IoRequest last;
    int opened = 0, closed = 0;
};

class KernelTest : public ::testing::Test {
protected:
    VirtualClock clock;
    EmulatedKernel kernel{clock};
    std::shared_ptr<ManualDevice> device = std::make_shared<ManualDevice>();

    HANDLE OpenDevice(DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = FILE_FLAG_OVERLAPPED) {
        if (device->opened == 0) kernel.AttachDevice(device);
        return kernel.CreateFileA("\\\\.\\USBIO_Device0", access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    OVERLAPPED Record() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
        return overlapped;
    }
};

TEST_F(KernelTest, EventsAndTimedWaitsOnTheVirtualClock) {
    HANDLE autoReset = kernel.CreateEventA(nullptr, FALSE_, TRUE_, nullptr);
    HANDLE manual = kernel.CreateEventA(nullptr, TRUE_, TRUE_, nullptr);
    EXPECT_EQ(kernel.WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
    EXPECT_EQ(kernel.WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
    EXPECT_EQ(kernel.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(kernel.WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    // A timed wait jumps the clock to its deadline.
    EXPECT_EQ(kernel.WaitForSingleObject(autoReset, 100), WAIT_TIMEOUT);
    EXPECT_EQ(clock.Now(), 100'000);
    // Nothing will ever signal it and no device has anything scheduled: an
    // unbounded wait fails instead of hanging the test.
    EXPECT_EQ(kernel.WaitForSingleObject(autoReset, INFINITE), WAIT_FAILED);
    EXPECT_EQ(kernel.EventCount(), 2u);
    EXPECT_EQ(kernel.ManualResetEventCount(), 1u);
    EXPECT_TRUE(kernel.CloseHandle(autoReset));
    EXPECT_TRUE(kernel.CloseHandle(manual));
    EXPECT_EQ(kernel.HandleCount(), 0u);
    EXPECT_FALSE(kernel.CloseHandle(autoReset));
    EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(KernelTest, PendingRequestCompletesAtTheDevicesTimeAndSignalsItsEvent) {
    HANDLE file = OpenDevice();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    OVERLAPPED overlapped{};
    overlapped.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    std::uint8_t data[8];
    DWORD count = 77;
    EXPECT_FALSE(kernel.ReadFile(file, data, sizeof data, &count, &overlapped));
    EXPECT_EQ(kernel.GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(device->last.kind, IoRequest::Kind::Read);
    EXPECT_EQ(device->last.outputSize, 8u);
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &overlapped, &count, FALSE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_IO_INCOMPLETE);
    device->dueAt = 250'000;
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 100), WAIT_TIMEOUT);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(clock.Now(), 250'000);
    EXPECT_TRUE(kernel.GetOverlappedResult(file, &overlapped, &count, FALSE_));
    EXPECT_EQ(count, 5u);

    // GetOverlappedResult that waits, on a control request.
    EXPECT_FALSE(kernel.DeviceIoControl(file, 0x8094206C, nullptr, 0, nullptr, 0, &count, &overlapped));
    ASSERT_EQ(kernel.GetLastError(), ERROR_IO_PENDING);
    device->dueAt = 290'000;
    EXPECT_TRUE(kernel.GetOverlappedResult(file, &overlapped, &count, TRUE_));
    EXPECT_EQ(clock.Now(), 290'000);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT) << "the wait took the event's signal";
}

TEST_F(KernelTest, AHandleOpenedWithoutOverlappedIoEndsEveryRequestBeforeTheCallReturns) {
    HANDLE file = OpenDevice(GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    OVERLAPPED overlapped = Record();
    std::uint8_t data[8];
    DWORD count = 0;
    device->dueAt = 250'000;
    // No ERROR_IO_PENDING: the call itself waits, so no time-out of the
    // caller's could ever run out.
    EXPECT_TRUE(kernel.ReadFile(file, data, sizeof data, &count, &overlapped));
    EXPECT_EQ(clock.Now(), 250'000);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0) << "the record's event is signalled";
    EXPECT_TRUE(kernel.GetOverlappedResult(file, &overlapped, &count, FALSE_));
    device->dueAt = 300'000;
    EXPECT_TRUE(kernel.DeviceIoControl(file, 0x8094206C, nullptr, 0, data, 8, &count, &overlapped));
    EXPECT_EQ(clock.Now(), 300'000);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
}

TEST_F(KernelTest, ReadsAndWritesNeedTheHandlesAccess) {
    OVERLAPPED overlapped = Record();
    std::uint8_t data[8] = {};
    struct Case {
        DWORD access;
        bool readable, writable;
    };
    for (const Case& c : {Case{GENERIC_READ, true, false}, Case{GENERIC_WRITE, false, true}, Case{0, false, false}}) {
        SCOPED_TRACE(c.access);
        HANDLE file = OpenDevice(c.access);
        EXPECT_EQ(kernel.ReadFile(file, data, 8, nullptr, &overlapped) ? 0 : kernel.GetLastError(),
                  c.readable ? ERROR_IO_PENDING : ERROR_ACCESS_DENIED);
        EXPECT_EQ(kernel.WriteFile(file, data, 8, nullptr, &overlapped) ? 0 : kernel.GetLastError(),
                  c.writable ? ERROR_IO_PENDING : ERROR_ACCESS_DENIED);
        // The driver's requests need no particular access.
        EXPECT_FALSE(kernel.DeviceIoControl(file, 0x8094206C, nullptr, 0, data, 8, nullptr, &overlapped));
        EXPECT_EQ(kernel.GetLastError(), ERROR_IO_PENDING);
        kernel.CloseHandle(file);
    }
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
}

TEST_F(KernelTest, ASlowCancellationLeavesTheRequestOutstandingUntilItReachesTheDriver) {
    HANDLE file = OpenDevice();
    kernel.SetCancelDelay(30'000);
    OVERLAPPED overlapped = Record();
    std::uint8_t data[8];
    DWORD count = 0;
    ASSERT_FALSE(kernel.ReadFile(file, data, 8, nullptr, &overlapped));
    EXPECT_TRUE(kernel.CancelIoEx(file, &overlapped));
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &overlapped, &count, FALSE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(kernel.CancelIoEx(file, &overlapped)) << "still there; asking again changes nothing";
    EXPECT_EQ(kernel.WaitForSingleObject(overlapped.hEvent, 100), WAIT_OBJECT_0);
    EXPECT_EQ(clock.Now(), 30'000);
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &overlapped, &count, FALSE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_OPERATION_ABORTED);

    // A request that ends by itself before the cancellation arrives succeeds.
    ASSERT_FALSE(kernel.ReadFile(file, data, 8, nullptr, &overlapped));
    device->dueAt = clock.Now() + 10'000;
    EXPECT_TRUE(kernel.CancelIo(file));
    EXPECT_TRUE(kernel.GetOverlappedResult(file, &overlapped, &count, TRUE_));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(clock.Now(), 40'000);

    // Closing the handle cancels at once.
    ASSERT_FALSE(kernel.ReadFile(file, data, 8, nullptr, &overlapped));
    kernel.CancelIo(file);
    kernel.CloseHandle(file);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(clock.Now(), 40'000);
}

TEST_F(KernelTest, ClosingTheEventOfAnOutstandingRequestIsCaughtAndNothingIsWrittenAfterwards) {
    HANDLE file = OpenDevice();
    kernel.SetCancelDelay(30'000);
    OVERLAPPED overlapped = Record();
    std::uint8_t data[8];
    ASSERT_FALSE(kernel.ReadFile(file, data, 8, nullptr, &overlapped));
    kernel.CancelIoEx(file, &overlapped);
    // The owner releases the record before the cancellation has ended it.
    kernel.CloseHandle(overlapped.hEvent);
    EXPECT_EQ(kernel.AbandonedRequestCount(), 1u);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    overlapped.Internal = 0xDEAD;
    clock.Advance(100'000);
    kernel.RunDue();
    EXPECT_EQ(overlapped.Internal, 0xDEADu);
    EXPECT_TRUE(device->pending.empty()) << "the driver was told to drop it";
}

TEST_F(KernelTest, CancelIoExCancelsOnlyTheNamedTransfer) {
    HANDLE file = OpenDevice();
    OVERLAPPED first{}, second{};
    first.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    second.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    std::uint8_t a[8], b[8];
    kernel.ReadFile(file, a, 8, nullptr, &first);
    kernel.ReadFile(file, b, 8, nullptr, &second);
    ASSERT_EQ(kernel.PendingRequestCount(), 2u);

    EXPECT_TRUE(kernel.CancelIoEx(file, &second));
    DWORD count = 0;
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &second, &count, TRUE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &first, &count, FALSE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_IO_INCOMPLETE);
    // Nothing left to cancel under that record.
    EXPECT_FALSE(kernel.CancelIoEx(file, &second));
    EXPECT_EQ(kernel.GetLastError(), ERROR_NOT_FOUND);

    // A transfer whose data won the race completes successfully.
    device->cancelStatus = 0;
    device->cancelBytes = 8;
    EXPECT_TRUE(kernel.CancelIoEx(file, &first));
    EXPECT_TRUE(kernel.GetOverlappedResult(file, &first, &count, FALSE_));
    EXPECT_EQ(count, 8u);
}

TEST_F(KernelTest, CancelIoCancelsOnlyTheCallingThreadsRequests) {
    HANDLE file = OpenDevice();
    OVERLAPPED mine{}, theirs{};
    mine.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    theirs.hEvent = kernel.CreateEventA(nullptr, FALSE_, FALSE_, nullptr);
    std::uint8_t a[8], b[8];
    kernel.ReadFile(file, a, 8, nullptr, &mine);
    std::thread other([&] { kernel.ReadFile(file, b, 8, nullptr, &theirs); });
    other.join();
    ASSERT_EQ(kernel.PendingRequestCount(), 2u);
    EXPECT_TRUE(kernel.CancelIo(file));
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    DWORD count = 0;
    EXPECT_FALSE(kernel.GetOverlappedResult(file, &theirs, &count, FALSE_));
    EXPECT_EQ(kernel.GetLastError(), ERROR_IO_INCOMPLETE);
    // Closing the handle cancels what is left.
    kernel.CloseHandle(file);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(device->closed, 1);
    kernel.CloseHandle(mine.hEvent);
    kernel.CloseHandle(theirs.hEvent);
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

TEST_F(KernelTest, DeviceListsAndNames) {
    kernel.AttachDevice(device);
    kernel.AttachDevice(std::make_shared<ManualDevice>());
    HDEVINFO list = kernel.SetupDiGetClassDevsA(&DRIVER_INTERFACE_CLASS, nullptr, nullptr,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, &DRIVER_INTERFACE_CLASS, 2, &data));
    EXPECT_EQ(kernel.GetLastError(), ERROR_NO_MORE_ITEMS);
    ASSERT_TRUE(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, &DRIVER_INTERFACE_CLASS, 1, &data));
    DWORD required = 0;
    EXPECT_FALSE(kernel.SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(kernel.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<std::uint8_t> storage(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = 1;  // a wrong size is refused like the system does
    EXPECT_FALSE(kernel.SetupDiGetDeviceInterfaceDetailA(list, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(kernel.GetLastError(), ERROR_INVALID_USER_BUFFER);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    ASSERT_TRUE(kernel.SetupDiGetDeviceInterfaceDetailA(list, &data, detail, required, nullptr, nullptr));
    const std::string path = detail->DevicePath;
    EXPECT_NE(path.find("vid_1234&pid_5678"), std::string::npos);
    EXPECT_NE(path.find("{325ddf96-938c-11d3-9e34-0080c82727f4}"), std::string::npos);
    HANDLE byPath = kernel.CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(byPath, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);

    // Unplugged after the list was made: the path no longer opens.
    kernel.DetachDevice(1);
    EXPECT_EQ(kernel.CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel.GetLastError(), ERROR_FILE_NOT_FOUND);
    kernel.CloseHandle(byPath);
    EXPECT_TRUE(kernel.SetupDiDestroyDeviceInfoList(list));
    EXPECT_EQ(kernel.HandleCount(), 0u);

    // A new list has only the present device, unless made without
    // DIGCF_PRESENT: then the absent one is there too, not active.
    for (const DWORD flags : {DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, DIGCF_DEVICEINTERFACE}) {
        SCOPED_TRACE(flags);
        list = kernel.SetupDiGetClassDevsA(&DRIVER_INTERFACE_CLASS, nullptr, nullptr, flags);
        const bool all = (flags & DIGCF_PRESENT) == 0;
        EXPECT_TRUE(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, &DRIVER_INTERFACE_CLASS, 0, &data));
        EXPECT_EQ(data.Flags, 1u);
        EXPECT_EQ(kernel.SetupDiEnumDeviceInterfaces(list, nullptr, &DRIVER_INTERFACE_CLASS, 1, &data), all);
        if (all) {
            EXPECT_EQ(data.Flags, 0u);
        }
        kernel.SetupDiDestroyDeviceInfoList(list);
    }
}

}  // namespace
