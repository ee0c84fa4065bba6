// The pipe object and its buffers: binding, transfers that complete at
// once, stay outstanding past the time-out or fail at once, and the
// one-transfer-per-buffer rule.
#include <algorithm>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;

const std::vector<std::uint8_t> PACKET = {2, 0x37, 0, 0x04, 0, 0, 0, 0x11};

class UsbPipeTest : public UsbioTest {
protected:
    void SetUp() override {
        device_ = &Attach();
        OpenLink(device, readPipe, writePipe);
    }
    sim::ScriptedDevice* device_ = nullptr;
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    UsbBuffer buffer{8};
};

TEST_F(UsbioTest, AFailedBindLeavesThePipeOpenUntilClosed) {
    Attach();
    UsbPipe pipe;
    // Nothing configured yet: the driver refuses the binding.
    EXPECT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), sim::DRIVER_NOT_CONFIGURED);
    EXPECT_TRUE(pipe.IsOpen());
    EXPECT_EQ(kernel.DeviceHandleCount(), 1u);
    pipe.Close();
    EXPECT_FALSE(pipe.IsOpen());
    EXPECT_EQ(kernel.HandleCount(), 0u);
}

TEST_F(UsbioTest, ABindWhoseOpenFailsReturnsTheOpenStatus) {
    Attach().SetInterfaceVersion(0x0140);
    UsbPipe pipe;
    EXPECT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), USB_STATUS_VERSION_MISMATCH);
    EXPECT_FALSE(pipe.IsOpen());
}

TEST_F(UsbPipeTest, ABindRequestCarriesTheEndpointAddress) {
    const auto& log = Driver().RequestLog();
    const auto binds = std::count_if(log.begin(), log.end(), [](const sim::ControlRecord& r) {
        return r.code == IOCTL_USBIO_BIND_PIPE;
    });
    ASSERT_EQ(binds, 2);
    auto first = std::find_if(log.begin(), log.end(),
                              [](const sim::ControlRecord& r) { return r.code == IOCTL_USBIO_BIND_PIPE; });
    EXPECT_EQ(first->input, std::vector<std::uint8_t>{0x81});
    EXPECT_EQ(first->outputSize, 0u);
}

TEST_F(UsbPipeTest, AReadThatCompletesOnSubmissionNeedsNoWaiting) {
    device_->QueuePacket(PACKET);
    buffer.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_SUCCESS);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.transferredBytes, 8u);
    EXPECT_TRUE(std::equal(PACKET.begin(), PACKET.end(), buffer.Data()));
    EXPECT_EQ(clock.Now(), 0);
}

TEST_F(UsbPipeTest, AReadStillOutstandingAtTheTimeOutCompletesOnALaterWait) {
    device_->QueuePacket(PACKET, 150 * MS);
    buffer.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING);

    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_TIMEOUT);
    EXPECT_EQ(NowMs(), 100);
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING);  // nothing cancelled
    EXPECT_EQ(buffer.transferredBytes, 0u);

    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(NowMs(), 150);
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.transferredBytes, 8u);
    EXPECT_TRUE(std::equal(PACKET.begin(), PACKET.end(), buffer.Data()));
}

TEST_F(UsbPipeTest, AReadOnAClosedPipeFailsAtOnceAndTheWaitReturnsTheError) {
    readPipe.Close();
    buffer.requestedBytes = 8;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 1000), platform::ERROR_INVALID_HANDLE);
    EXPECT_EQ(clock.Now(), 0);
}

TEST_F(UsbPipeTest, AWriteDeliversTheRequestedBytes) {
    UsbBuffer command(16);
    command.Data()[0] = 1;
    command.requestedBytes = 16;
    ASSERT_TRUE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 200), USB_STATUS_SUCCESS);
    EXPECT_EQ(command.transferredBytes, 16u);
    ASSERT_EQ(device_->Writes().size(), 1u);
    std::vector<std::uint8_t> expected(16, 0);
    expected[0] = 1;
    EXPECT_EQ(device_->Writes()[0], expected);
}

TEST_F(UsbPipeTest, AWriteTheDeviceFailsReportsTheDriverStatus) {
    device_->SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, sim::DRIVER_STALL_PID);
    UsbBuffer command(16);
    command.requestedBytes = 16;
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(writePipe.WaitForCompletion(command, 200), sim::DRIVER_STALL_PID);
}

TEST_F(UsbPipeTest, MoreThanTheCapacityIsRefusedBeforeAnythingIsSent) {
    UsbBuffer command(16);
    command.requestedBytes = 17;
    EXPECT_FALSE(writePipe.Write(command));
    EXPECT_EQ(command.completionStatus, USB_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(device_->Writes().empty());

    device_->QueuePacket(PACKET);
    buffer.requestedBytes = 9;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device_->QueuedPackets(), 1u);
}

TEST_F(UsbPipeTest, ASecondTransferOnABusyBufferIsRefusedAndTheFirstStillCompletes) {
    device_->QueuePacket(PACKET, 50 * MS);
    buffer.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);

    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.transferredBytes, 8u);
    EXPECT_TRUE(std::equal(PACKET.begin(), PACKET.end(), buffer.Data()));
}

TEST_F(UsbPipeTest, TransfersOnDifferentBuffersOfOnePipeAreIndependent) {
    UsbBuffer second(8);
    buffer.requestedBytes = second.requestedBytes = 8;
    device_->QueuePacket({1}, 10 * MS);
    device_->QueuePacket({2, 2}, 20 * MS);
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    EXPECT_EQ(readPipe.WaitForCompletion(second, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.transferredBytes + second.transferredBytes, 3u);
}

TEST_F(UsbPipeTest, CancelTransferEndsOnlyThatBuffersTransfer) {
    UsbBuffer second(8);
    buffer.requestedBytes = second.requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    EXPECT_TRUE(readPipe.CancelTransfer(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(second.completionStatus, USB_STATUS_PENDING);
    EXPECT_FALSE(readPipe.CancelTransfer(buffer));  // nothing left to cancel
    device_->QueuePacket(PACKET, 5 * MS);
    EXPECT_EQ(readPipe.WaitForCompletion(second, 100), USB_STATUS_SUCCESS);
}

TEST_F(UsbPipeTest, CancelPendingIoEndsWhatThisThreadStartedOnThePipe) {
    UsbBuffer second(8);
    UsbBuffer others(8);
    buffer.requestedBytes = second.requestedBytes = others.requestedBytes = 8;
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

TEST_F(UsbioTest, ABufferOwnsZeroedMemoryOfItsCapacity) {
    // Leave non-zero bytes where the allocator is likely to hand out next.
    for (int i = 0; i < 4; ++i) {
        auto* dirty = new std::uint8_t[256];
        std::fill(dirty, dirty + 256, 0xCC);
        delete[] dirty;
    }
    UsbBuffer buffer(256);
    EXPECT_EQ(buffer.capacity, 256u);
    EXPECT_TRUE(buffer.ownsMemory);
    ASSERT_NE(buffer.Data(), nullptr);
    EXPECT_TRUE(std::all_of(buffer.Data(), buffer.Data() + 256, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_SUCCESS);
    EXPECT_EQ(buffer.nextFree, nullptr);
    EXPECT_NE(buffer.overlapped.hEvent, nullptr);
}

TEST_F(UsbioTest, DefaultAndCallerMemoryBuffersOwnNothing) {
    std::uint8_t memory[12] = {};
    {
        UsbBuffer none;
        EXPECT_EQ(none.Data(), nullptr);
        EXPECT_EQ(none.capacity, 0u);
        EXPECT_FALSE(none.ownsMemory);
        UsbBuffer over(memory, sizeof memory);
        EXPECT_EQ(over.Data(), memory);
        EXPECT_EQ(over.capacity, 12u);
        EXPECT_FALSE(over.ownsMemory);
        EXPECT_EQ(kernel.EventCount(), 2u);
    }
    EXPECT_EQ(kernel.EventCount(), 0u);
}

TEST_F(UsbioTest, ABufferWithoutAnEventRefusesEveryTransfer) {
    Attach();
    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    OpenLink(device, readPipe, writePipe);
    kernel.SetFaultHook([](const char* call) -> platform::DWORD {
        return std::string_view(call) == "CreateEventA" ? platform::ERROR_NOT_ENOUGH_MEMORY : 0;
    });
    UsbBuffer buffer(8);
    kernel.SetFaultHook(nullptr);
    buffer.requestedBytes = 8;
    EXPECT_FALSE(readPipe.Read(buffer));
    EXPECT_EQ(buffer.completionStatus, USB_STATUS_NO_MEMORY);
    EXPECT_EQ(kernel.PendingRequestCount(), 0u);
}

}  // namespace
}  // namespace usbio_test
