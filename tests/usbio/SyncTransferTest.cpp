// Synchronous reads and writes: success, time-out with cancellation, the
// race in which the data win against the cancellation, and transfers
// refused at once. Only the call's own transfer is ever cancelled.
#include <functional>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;
using Bytes = std::vector<std::uint8_t>;
using WriteMode = sim::ScriptedDevice::WriteMode;

const Bytes PACKET = {2, 0x37, 0, 0x04, 0, 0, 0, 0x11};

class SyncTransferTest : public UsbioTest {
protected:
    void SetUp() override {
        scale = &Attach();
        OpenLink(device, readPipe, writePipe);
        baseEvents = kernel.EventCount();
    }
    // Nothing may be left pending, nor the call's own buffer's event, and
    // the call's buffer was never released while its transfer ran.
    void ExpectNothingLeft() {
        EXPECT_EQ(kernel.PendingRequestCount(), 0u);
        EXPECT_EQ(kernel.EventCount(), baseEvents);
        EXPECT_EQ(kernel.AbandonedRequestCount(), 0u);
    }
    sim::ScriptedDevice* scale = nullptr;
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    std::size_t baseEvents = 0;
    std::array<std::uint8_t, 16> memory{};
};

TEST_F(SyncTransferTest, ReadsReturnWhatCameInTimeOrTimeOutWithNothingMoved) {
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
        memory.fill(0);
        const auto start = NowMs();
        std::uint32_t size = 8;
        EXPECT_EQ(readPipe.ReadSync(memory.data(), size, c.timeoutMs), c.expected);
        EXPECT_EQ(Bytes(memory.begin(), memory.begin() + size), c.data);
        EXPECT_EQ(NowMs() - start, c.elapsedMs);
        ExpectNothingLeft();
    }
}

TEST_F(SyncTransferTest, WritesWaitForTheDeviceAndCancelWhatNeverFinishes) {
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
        if (c.expected == USB_STATUS_SUCCESS) {
            EXPECT_EQ(scale->Writes().back(), Bytes(command.begin(), command.end()));
        }
        ExpectNothingLeft();
    }
}

TEST_F(SyncTransferTest, ATimeOutCancelsOnlyTheCallsOwnTransfer) {
    UsbBuffer other(8);
    other.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(other));
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 50), USB_STATUS_TIMEOUT);
    EXPECT_EQ(other.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    scale->QueuePacket(PACKET, 80 * MS);
    EXPECT_EQ(readPipe.WaitForCompletion(other, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(other.transferredBytes, 8u);
}

TEST_F(SyncTransferTest, AReadRefusedAtOnceReturnsTheErrorWithoutWaiting) {
    std::uint32_t size = 8;
    EXPECT_EQ(writePipe.ReadSync(memory.data(), size, 100), sim::DRIVER_INVALID_DIRECTION);
    EXPECT_EQ(size, 0u);
    size = 8;
    EXPECT_EQ(readPipe.ReadSync(nullptr, size, 100), USB_STATUS_INVALID_PARAMETER);
    readPipe.Close();
    size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(clock.Now(), 0);
    EXPECT_EQ(kernel.EventCount(), baseEvents - 1) << "only the closed pipe's event is gone";
}

TEST_F(SyncTransferTest, AnUnpluggedDeviceEndsTheWaitWithItsStatus) {
    scale->QueuePacket(PACKET, 500 * MS);
    UsbBuffer started(8);
    started.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(started));
    scale->Unplug();
    EXPECT_EQ(readPipe.WaitForCompletion(started, 100), sim::DRIVER_DEVICE_REMOVED);
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace usbio_test
