// The pipe object and its buffers: binding, transfers that complete at
// once, stay outstanding past the time-out or fail at once, cancellation,
// and the one-transfer-per-buffer rule.
#include <algorithm>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;

const std::vector<std::uint8_t> PACKET = {2, 0x37, 0, 0x04, 0, 0, 0, 0x11};

bool HoldsPacket(const UsbBuffer& buffer) { return std::equal(PACKET.begin(), PACKET.end(), buffer.Data()); }

class UsbPipeTest : public UsbioTest {
protected:
    void SetUp() override {
        scale = &Attach();
        OpenLink(device, readPipe, writePipe);
        buffer.requestedBytes = second.requestedBytes = 8;
    }
    sim::ScriptedDevice* scale = nullptr;
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    UsbBuffer buffer{8};
    UsbBuffer second{8};
};

TEST_F(UsbioTest, ABindCarriesTheEndpointAndAFailedOneLeavesThePipeOpenUntilClosed) {
    Attach();
    UsbPipe pipe;
    // Nothing configured yet: the driver refuses the binding.
    EXPECT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), sim::DRIVER_NOT_CONFIGURED);
    ASSERT_FALSE(Driver().RequestLog().empty());
    EXPECT_EQ(Driver().RequestLog().back().code, IOCTL_USBIO_BIND_PIPE);
    EXPECT_EQ(Driver().RequestLog().back().input, std::vector<std::uint8_t>{0x81});
    EXPECT_TRUE(pipe.IsOpen());
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);
    pipe.Close();
    EXPECT_FALSE(pipe.IsOpen());
    EXPECT_EQ(kernel.HandleCount(), 0u);

    Attach().SetInterfaceVersion(0x0140);
    EXPECT_EQ(pipe.Bind(1, 0x81, nullptr, nullptr), USB_STATUS_VERSION_MISMATCH);
    EXPECT_FALSE(pipe.IsOpen());
}

TEST_F(UsbPipeTest, AReadThatCompletesOnSubmissionNeedsNoWaiting) {
    scale->QueuePacket(PACKET);
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.transferredBytes, 8u);
    EXPECT_TRUE(HoldsPacket(buffer));
    EXPECT_EQ(clock.Now(), 0);
}

TEST_F(UsbPipeTest, AReadStillOutstandingAtTheTimeOutCompletesOnALaterWait) {
    scale->QueuePacket(PACKET, 150 * MS);
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_TIMEOUT);
    EXPECT_EQ(NowMs(), 100);
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING) << "a time-out cancels nothing";
    EXPECT_EQ(buffer.transferredBytes, 0u);

    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 150);
    EXPECT_EQ(buffer.transferredBytes, 8u);
    EXPECT_TRUE(HoldsPacket(buffer));
    // An auto-reset event: the wait took its signal.
    EXPECT_EQ(kernel.WaitForSingleObject(buffer.overlapped.hEvent, 0), platform::WAIT_TIMEOUT);
}

TEST_F(UsbPipeTest, AReadOnAClosedPipeFailsAtOnceAndTheWaitReturnsTheError) {
    readPipe.Close();
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 1000), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(clock.Now(), 0);
}

TEST_F(UsbPipeTest, AWriteDeliversTheRequestedBytesOrTheDriversFailure) {
    UsbBuffer command(16);
    command.Data()[0] = 1;
    command.requestedBytes = 16;
    ASSERT_TRUE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 200), USB_STATUS_SUCCESS);
    EXPECT_EQ(command.transferredBytes, 16u);
    std::vector<std::uint8_t> expected(16, 0);
    expected[0] = 1;
    EXPECT_EQ(scale->Writes(), std::vector<std::vector<std::uint8_t>>{expected});

    scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, sim::DRIVER_STALL_PID);
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 200), sim::DRIVER_STALL_PID);
}

TEST_F(UsbPipeTest, MoreThanTheCapacityIsRefusedBeforeAnythingIsSent) {
    UsbBuffer command(16);
    command.requestedBytes = 17;
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(command.completionStatus, USB_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(scale->Writes().empty());

    scale->QueuePacket(PACKET);
    buffer.requestedBytes = 9;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(scale->QueuedPackets(), 1u);
}

TEST_F(UsbPipeTest, ASecondTransferOnABusyBufferIsRefusedWithTheReasonAndTheFirstStillCompletes) {
    scale->QueuePacket(PACKET, 50 * MS);
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 10), USB_STATUS_TIMEOUT);
    for (const bool read : {true, false}) {
        SCOPED_TRACE(read ? "read" : "write");
        EXPECT_FALSE(read ? readPipe.Read(buffer) : writePipe.Write(buffer));
        EXPECT_EQ(buffer.completionStatus, USB_STATUS_BUFFER_BUSY);
        EXPECT_TRUE(buffer.Outstanding());
    }
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    // A wait is for the transfer the buffer carries.
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 10), USB_STATUS_TIMEOUT);
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 50);
    EXPECT_FALSE(buffer.Outstanding());
    EXPECT_TRUE(HoldsPacket(buffer));
}

TEST_F(UsbPipeTest, CancelTransferEndsOnlyThatBuffersTransfer) {
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    EXPECT_TRUE(readPipe.CancelTransfer(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(second.completionStatus, USB_STATUS_PENDING);
    EXPECT_FALSE(readPipe.CancelTransfer(buffer)) << "nothing left to cancel";
    scale->QueuePacket(PACKET, 5 * MS);
    EXPECT_EQ(readPipe.WaitForCompletion(second, 100), USB_STATUS_SUCCESS);
    EXPECT_TRUE(HoldsPacket(second));
}

TEST_F(UsbPipeTest, CancelPendingIoEndsWhatThisThreadStartedOnThePipe) {
    UsbBuffer others(8);
    others.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    std::thread([&] { EXPECT_TRUE(readPipe.Read(others)); }).join();

    EXPECT_TRUE(readPipe.CancelPendingIo());
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(readPipe.WaitForCompletion(second, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(others.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    EXPECT_TRUE(readPipe.CancelTransfer(others));
    EXPECT_EQ(readPipe.WaitForCompletion(others, platform::INFINITE), platform::ERROR_OPERATION_ABORTED);
    readPipe.Close();
    EXPECT_FALSE(readPipe.CancelPendingIo());
}

TEST_F(UsbioTest, BuffersOwnZeroedMemoryOrNoneAndReleaseTheirEvents) {
    // Leave non-zero bytes where the allocator is likely to hand out next.
    for (int i = 0; i < 4; ++i) std::fill_n(std::make_unique<std::uint8_t[]>(256).get(), 256, 0xCC);
    std::uint8_t memory[12] = {};
    {
        UsbBuffer owned(256);
        EXPECT_TRUE(owned.ownsMemory);
        ASSERT_NE(owned.Data(), nullptr);
        EXPECT_TRUE(std::all_of(owned.Data(), owned.Data() + 256, [](std::uint8_t b) { return b == 0; }));
        UsbBuffer none;
        EXPECT_EQ(none.Data(), nullptr);
        EXPECT_FALSE(none.ownsMemory);
        UsbBuffer over(memory, sizeof memory);
        EXPECT_EQ(over.Data(), memory);
        EXPECT_EQ(over.capacity, 12u);
        EXPECT_FALSE(over.ownsMemory);
        EXPECT_EQ(kernel.EventCount(), 3u);
        EXPECT_EQ(kernel.ManualResetEventCount(), 0u);
    }
    EXPECT_EQ(kernel.EventCount(), 0u);
}

TEST_F(UsbPipeTest, ABufferWithoutAnEventRefusesEveryTransfer) {
    FailCall("CreateEventA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    UsbBuffer eventless(8);
    kernel.SetFaultHook(nullptr);
    eventless.requestedBytes = 8;
    EXPECT_FALSE(readPipe.Read(eventless));
    EXPECT_EQ(eventless.completionStatus, USB_STATUS_NO_MEMORY);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
}

}  // namespace
}  // namespace usbio_test
