// Synchronous reads and writes: success, time-out with cancellation, the
// race in which the data win against the cancellation, and transfers
// refused at once. Only the call's own transfer is ever cancelled.
#include <algorithm>
#include <array>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;

const std::vector<std::uint8_t> PACKET = {2, 0x37, 0, 0x04, 0, 0, 0, 0x11};

class SyncTransferTest : public UsbioTest {
protected:
    void SetUp() override {
        scale = &Attach();
        OpenLink(device, readPipe, writePipe);
        baseEvents = kernel.EventCount();
    }
    sim::ScriptedDevice* scale = nullptr;
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    std::size_t baseEvents = 0;
    std::array<std::uint8_t, 16> memory{};
};

TEST_F(SyncTransferTest, AReadOfDataAlreadyThereReturnsThemAtOnce) {
    scale->QueuePacket(PACKET);
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(std::equal(PACKET.begin(), PACKET.end(), memory.begin()));
    EXPECT_EQ(clock.Now(), 0);
    EXPECT_EQ(kernel.EventCount(), baseEvents) << "the local buffer's event is closed";
}

TEST_F(SyncTransferTest, AReadWaitsForDataThatComeInTime) {
    scale->QueuePacket({7, 7, 7}, 40 * MS);
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(NowMs(), 40);
}

TEST_F(SyncTransferTest, AReadWithATimeOutOfZeroAndNoDataTimesOutWithNothingMoved) {
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 0), USB_STATUS_TIMEOUT);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(clock.Now(), 0);
    // Cancelled and finished before the call returned.
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(kernel.EventCount(), baseEvents);
    // The data that come later are left for the next read.
    scale->QueuePacket(PACKET, 10 * MS);
    size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 8u);
}

TEST_F(SyncTransferTest, DataThatWinTheRaceWithTheCancellationAreASuccess) {
    scale->SetPacketOnCancel({9, 8, 7, 6, 5});
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(memory[0], 9);
    EXPECT_EQ(memory[4], 5);
    EXPECT_EQ(NowMs(), 100);
}

TEST_F(SyncTransferTest, ATimeOutCancelsOnlyTheCallsOwnTransfer) {
    // Another read of this thread on the same pipe, still waiting for data.
    UsbBuffer other(8);
    other.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(other));

    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 50), USB_STATUS_TIMEOUT);
    EXPECT_EQ(size, 0u);
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
    readPipe.Close();
    size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(size, 0u);
    size = 8;
    EXPECT_EQ(readPipe.ReadSync(nullptr, size, 100), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(clock.Now(), 0);
    EXPECT_EQ(kernel.EventCount(), baseEvents - 1);  // the closed pipe's event
}

TEST_F(SyncTransferTest, AWriteMovesTheCallersBytes) {
    const std::array<std::uint8_t, 16> command = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    std::uint32_t size = 16;
    EXPECT_EQ(writePipe.WriteSync(command.data(), size, 200), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 16u);
    ASSERT_EQ(scale->Writes().size(), 1u);
    EXPECT_EQ(scale->Writes()[0], std::vector<std::uint8_t>(command.begin(), command.end()));
}

TEST_F(SyncTransferTest, AWriteThatFinishesLaterIsWaitedFor) {
    scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, 60 * MS);
    std::uint32_t size = 16;
    EXPECT_EQ(writePipe.WriteSync(memory.data(), size, 200), USB_STATUS_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(NowMs(), 60);
}

TEST_F(SyncTransferTest, AWriteThatNeverFinishesTimesOutAndIsCancelled) {
    scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    std::uint32_t size = 16;
    EXPECT_EQ(writePipe.WriteSync(memory.data(), size, 200), USB_STATUS_TIMEOUT);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(NowMs(), 200);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(kernel.EventCount(), baseEvents);
}

TEST_F(SyncTransferTest, AWriteTheDeviceFailsReturnsItsStatus) {
    scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, sim::DRIVER_STALL_PID);
    std::uint32_t size = 16;
    EXPECT_EQ(writePipe.WriteSync(memory.data(), size, 200), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u);
}

TEST_F(SyncTransferTest, AnUnpluggedDeviceEndsTheWaitWithItsStatus) {
    scale->QueuePacket(PACKET, 500 * MS);
    std::uint32_t size = 8;
    UsbBuffer started(8);
    started.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(started));
    scale->Unplug();
    EXPECT_EQ(readPipe.WaitForCompletion(started, 100), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 100), sim::DRIVER_DEVICE_REMOVED);
    EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace usbio_test
