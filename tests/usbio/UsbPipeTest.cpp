// The pipe object and its buffers: binding, transfers that complete at once,
// stay outstanding past the time-out or fail at once, cancellation, the
// one-transfer-per-buffer rule, and the synchronous transfers, which only
// ever cancel their own transfer.
#include <algorithm>
#include <functional>
#include <thread>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using WriteMode = sim::ScriptedDevice::WriteMode;

bool HoldsPacket(const UsbBuffer& buffer) { return std::equal(PACKET.begin(), PACKET.end(), buffer.Data()); }

class UsbPipeTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        buffer.requestedBytes = second.requestedBytes = 8;
        baseEvents = kernel.EventCount();
    }
    // Nothing left pending, no event of a call's own buffer left, and no
    // buffer released while its transfer ran.
    void ExpectNothingLeft() {
        EXPECT_EQ(kernel.PendingRequestCount(), 0u);
        EXPECT_EQ(kernel.EventCount(), baseEvents);
        EXPECT_EQ(kernel.AbandonedRequestCount(), 0u);
    }
    UsbBuffer buffer{8};
    UsbBuffer second{8};
    std::size_t baseEvents = 0;
};

TEST_F(UsbioTest, ABindCarriesTheEndpointAndAFailedOneLeavesThePipeOpenUntilClosed) {
    Attach();
    UsbPipe pipe;
    EXPECT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), sim::DRIVER_NOT_CONFIGURED);
    EXPECT_EQ(Driver().RequestLog().back().code, IOCTL_USBIO_BIND_PIPE);
    EXPECT_EQ(Driver().RequestLog().back().input, Bytes{0x81});
    EXPECT_TRUE(pipe.IsOpen());
    pipe.Close();
    EXPECT_EQ(kernel.HandleCount(), 0u);
    Attach().SetInterfaceVersion(0x0140);
    EXPECT_EQ(pipe.Bind(1, 0x81, nullptr, nullptr), USB_STATUS_VERSION_MISMATCH);
    EXPECT_FALSE(pipe.IsOpen());
}

TEST_F(UsbPipeTest, AReadCompletesAtOnceOrStaysOutstandingPastTheTimeOutUntilALaterWait) {
    scale->QueuePacket(PACKET);
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), USB_STATUS_SUCCESS);
    EXPECT_TRUE(HoldsPacket(buffer));
    EXPECT_EQ(clock.Now(), 0);

    scale->QueuePacket(PACKET, 150 * MS);
    ASSERT_TRUE(readPipe.Read(second));
    EXPECT_EQ(readPipe.WaitForCompletion(second, 100), USB_STATUS_TIMEOUT);
    EXPECT_EQ(second.completionStatus, USB_STATUS_PENDING) << "a time-out cancels nothing";
    EXPECT_EQ(readPipe.WaitForCompletion(second, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 150);
    EXPECT_EQ(second.transferredBytes, 8u);
    EXPECT_TRUE(HoldsPacket(second));
    // An auto-reset event: the wait took its signal.
    EXPECT_EQ(kernel.WaitForSingleObject(second.overlapped.hEvent, 0), platform::WAIT_TIMEOUT);
}

TEST_F(UsbPipeTest, AStartRefusedAtOnceLeavesItsReasonForTheWait) {
    UsbBuffer command(16);
    command.requestedBytes = 17;
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 1000), USB_STATUS_INVALID_PARAMETER);
    buffer.requestedBytes = 9;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_INVALID_PARAMETER);
    scale->SetWriteMode(WriteMode::Fail, sim::DRIVER_STALL_PID);
    command.requestedBytes = 16;
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 1000), sim::DRIVER_STALL_PID);
    EXPECT_EQ(scale->Writes().size(), 1u) << "nothing past the capacity went out";
    readPipe.Close();
    buffer.requestedBytes = 8;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 1000), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(clock.Now(), 0);
}

TEST_F(UsbPipeTest, ASecondTransferOnABusyBufferIsRefusedWithTheReasonAndTheFirstStillCompletes) {
    scale->QueuePacket(PACKET, 50 * MS);
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 10), USB_STATUS_TIMEOUT);
    for (const bool read : {true, false}) {
        EXPECT_FALSE(read ? readPipe.Read(buffer) : writePipe.Write(buffer));
        EXPECT_EQ(buffer.completionStatus, USB_STATUS_BUFFER_BUSY);
    }
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    // A wait is for the transfer the buffer carries.
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 10), USB_STATUS_TIMEOUT);
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 50);
    EXPECT_TRUE(HoldsPacket(buffer));
}

TEST_F(UsbPipeTest, CancelTransferEndsOnlyThatBufferAndCancelPendingIoOnlyThisThreadsTransfers) {
    UsbBuffer others(8);
    others.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    std::thread([&] { EXPECT_TRUE(readPipe.Read(others)); }).join();
    EXPECT_TRUE(readPipe.CancelTransfer(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(readPipe.CancelTransfer(buffer)) << "nothing left to cancel";
    EXPECT_EQ(kernel.PendingRequestCount(), 2u);

    EXPECT_TRUE(readPipe.CancelPendingIo());
    EXPECT_EQ(readPipe.WaitForCompletion(second, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(others.completionStatus, USB_STATUS_PENDING);
    scale->QueuePacket(PACKET, 500 * MS);
    scale->Unplug();
    EXPECT_EQ(readPipe.WaitForCompletion(others, 100), sim::DRIVER_DEVICE_REMOVED);
    readPipe.Close();
    EXPECT_FALSE(readPipe.CancelPendingIo());
}

TEST_F(UsbioTest, BuffersOwnZeroedMemoryOrNoneAndABufferWithoutAnEventRefusesEveryTransfer) {
    // Leave non-zero bytes where the allocator is likely to hand out next.
    for (int i = 0; i < 4; ++i) std::fill_n(std::make_unique<std::uint8_t[]>(256).get(), 256, 0xCC);
    std::uint8_t memory[12] = {};
    {
        UsbBuffer owned(256);
        ASSERT_NE(owned.Data(), nullptr);
        EXPECT_TRUE(std::all_of(owned.Data(), owned.Data() + 256, [](std::uint8_t b) { return b == 0; }));
        UsbBuffer over(memory, sizeof memory);
        EXPECT_EQ(over.Data(), memory);
        EXPECT_EQ(over.capacity, 12u);
        EXPECT_FALSE(over.ownsMemory);
        EXPECT_EQ(UsbBuffer().Data(), nullptr);
        EXPECT_EQ(kernel.EventCount(), 2u);
        EXPECT_EQ(kernel.ManualResetEventCount(), 0u);
    }
    EXPECT_EQ(kernel.EventCount(), 0u);
    FailCall("CreateEventA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    UsbBuffer eventless(8);
    kernel.SetFaultHook(nullptr);
    UsbPipe pipe;
    eventless.requestedBytes = 8;
    EXPECT_FALSE(pipe.Read(eventless));
    EXPECT_EQ(eventless.completionStatus, USB_STATUS_NO_MEMORY);
}

TEST_F(UsbPipeTest, ReadSyncReturnsWhatCameInTimeOrTimesOutOnceItsCancellationHasEnded) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::uint32_t timeoutMs;
        UsbStatus expected;
        Bytes data;
        platform::emulated::Micros elapsedMs;
    };
    const std::vector<Case> cases = {
        {"already there", [&] { scale->QueuePacket(PACKET); }, 100, USB_STATUS_SUCCESS, PACKET, 0},
        {"comes after 40 ms", [&] { scale->QueuePacket({7, 7, 7}, 40 * MS); }, 100, USB_STATUS_SUCCESS, {7, 7, 7}, 40},
        {"none, time-out 0", [] {}, 0, USB_STATUS_TIMEOUT, {}, 0},
        {"none, time-out 100", [] {}, 100, USB_STATUS_TIMEOUT, {}, 100},
        // The data arrive while the time-out cancels the read: a success.
        {"won the race with the cancellation", [&] { scale->SetPacketOnCancel({9, 8, 7, 6, 5}); }, 100,
         USB_STATUS_SUCCESS, {9, 8, 7, 6, 5}, 100},
        // A cancellation that takes 30 ms: the call returns only once the
        // transfer has ended, whatever came meanwhile.
        {"slow cancellation", [&] { kernel.SetCancelDelay(30 * MS); }, 100, USB_STATUS_TIMEOUT, {}, 130},
        {"came during a slow cancellation", [&] { scale->QueuePacket({4, 4}, clock.Now() + 110 * MS); }, 100,
         USB_STATUS_SUCCESS, {4, 4}, 110},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        std::array<std::uint8_t, 16> memory{};
        const auto start = NowMs();
        std::uint32_t size = 8;
        EXPECT_EQ(readPipe.ReadSync(memory.data(), size, c.timeoutMs), c.expected);
        EXPECT_EQ(Bytes(memory.begin(), memory.begin() + size), c.data);
        EXPECT_EQ(NowMs() - start, c.elapsedMs);
        ExpectNothingLeft();
    }
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(nullptr, size, 100), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(size, 0u);
}

TEST_F(UsbPipeTest, WriteSyncWaitsForTheDeviceAndCancelsWhatNeverFinishes) {
    struct Case {
        WriteMode mode;
        UsbStatus status;
        platform::emulated::Micros delayMs;
        UsbStatus expected;
        std::uint32_t size;
        platform::emulated::Micros elapsedMs;
    };
    for (const Case& c : {Case{WriteMode::Complete, 0, 0, USB_STATUS_SUCCESS, 16, 0},
                          Case{WriteMode::Delay, 0, 60, USB_STATUS_SUCCESS, 16, 60},
                          Case{WriteMode::Never, 0, 0, USB_STATUS_TIMEOUT, 0, 200},
                          Case{WriteMode::Fail, sim::DRIVER_STALL_PID, 0, sim::DRIVER_STALL_PID, 0, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        scale->SetWriteMode(c.mode, c.status, c.delayMs * MS);
        const auto start = NowMs();
        const std::array<std::uint8_t, 16> command = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        std::uint32_t size = 16;
        EXPECT_EQ(writePipe.WriteSync(command.data(), size, 200), c.expected);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(NowMs() - start, c.elapsedMs);
        EXPECT_EQ(scale->Writes().back(), Bytes(command.begin(), command.end()));
        ExpectNothingLeft();
    }
}

TEST_F(UsbPipeTest, ASyncTimeOutCancelsOnlyTheCallsOwnTransfer) {
    ASSERT_TRUE(readPipe.Read(buffer));
    std::array<std::uint8_t, 8> memory{};
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 50), USB_STATUS_TIMEOUT);
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    scale->QueuePacket(PACKET, 80 * MS);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_TRUE(HoldsPacket(buffer));
}

}  // namespace
}  // namespace usbio_test
