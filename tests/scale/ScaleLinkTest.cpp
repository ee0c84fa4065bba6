// The scale link on the emulated driver: finding the scale among the
// driver's devices, configuring it, and the exchanges byte for byte, with
// their time-outs, cancellations and short packets. The result of each
// failed step, as the operator sees it, is in tests/ui/MainDialogTest.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/ScaleTestBench.h"

using namespace scale;
using testing_support::ScaleTestBench;

namespace {

class ScaleLinkTest : public ::testing::Test {
protected:
    ScaleTestBench bench;
    ScaleLink& link = bench.link;

    sim::ScriptedDevice& ConnectScripted() {
        sim::ScriptedDevice& scale = bench.AttachScripted();
        EXPECT_EQ(link.FindScale(), FIND_OK);
        EXPECT_EQ(link.ConfigureScale(), CONFIGURE_OK);
        return scale;
    }
};

// ---- finding the scale

TEST_F(ScaleLinkTest, NoDeviceGivesThreeForeignDevicesAreOpenedClosedAndGiveTwo) {
    EXPECT_EQ(ScaleTestBench().link.FindScale(), 3);
    bench.AttachScripted(0x1234, 0x0000);
    bench.AttachScripted(0x0C70, 0x0001);  // the scale's vendor, another product
    EXPECT_EQ(link.FindScale(), 2);
    EXPECT_EQ(link.ScaleIndex(), -1);
    // Both candidates were closed again: only the list is held.
    EXPECT_EQ(bench.kernel.DeviceHandleCount(), 0u);
    EXPECT_EQ(bench.kernel.ListCount(), 1u);
}

TEST_F(ScaleLinkTest, FirstScaleWinsOverALaterOne) {
    for (int i = 0; i < 3; ++i) bench.AttachScripted(0x0C71, 0);
    bench.AttachScripted();  // index 3
    bench.AttachScripted();  // index 4: never looked at
    EXPECT_EQ(link.FindScale(), FIND_OK);
    EXPECT_EQ(link.ScaleIndex(), 3);
    EXPECT_TRUE(bench.Driver(4).ControlLog().empty());
    EXPECT_EQ(bench.kernel.DeviceHandleCount(), 0u);
}

TEST_F(ScaleLinkTest, SearchStopsAfterIndex126) {
    for (int i = 0; i < 128; ++i) bench.AttachScripted(0x1111, 0);
    int opens = 0;
    bench.kernel.SetFaultHook([&](const char* call) -> platform::DWORD {
        if (std::string(call) == "CreateFileA") ++opens;
        return 0;
    });
    EXPECT_EQ(link.FindScale(), FIND_NOT_IDENTIFIED);
    EXPECT_EQ(opens, 127);
}

TEST_F(ScaleLinkTest, DescriptorThatCannotBeReadIsPassedOver) {
    bench.AttachScripted();
    bench.AttachScripted();
    bench.Driver(0).FailControl(sim::IOCTL_GET_DESCRIPTOR, sim::DRIVER_STALL_PID);
    EXPECT_EQ(link.FindScale(), FIND_OK);
    EXPECT_EQ(link.ScaleIndex(), 1);
}

// ---- configuring it

TEST_F(ScaleLinkTest, ConfigurationRequestAndBothPipes) {
    sim::ScriptedDevice& scale = ConnectScripted();
    EXPECT_EQ(scale.LastConfigurationIndex(), 0);
    ASSERT_EQ(scale.LastConfiguration().size(), 1u);
    const auto& setting = scale.LastConfiguration()[0];
    EXPECT_EQ(std::tuple(setting.interfaceNumber, setting.alternateSetting, setting.maximumTransferSize),
              std::tuple(0, 0, 16u));
    EXPECT_TRUE(bench.device.IsOpen());
    EXPECT_TRUE(bench.readPipe.IsOpen());
    EXPECT_TRUE(bench.writePipe.IsOpen());
}

TEST_F(ScaleLinkTest, CloseReleasesEverythingAndMayRunTwice) {
    ConnectScripted();
    EXPECT_GT(bench.kernel.HandleCount(), 2u);
    link.Close();
    link.Close();
    EXPECT_EQ(bench.kernel.DeviceHandleCount(), 0u);
    EXPECT_EQ(bench.kernel.ListCount(), 0u);
    // What is left are the two buffers' own events.
    EXPECT_EQ(bench.kernel.HandleCount(), 2u);
    // Every exchange now fails through the closed pipes.
    EXPECT_FALSE(link.ReadWeight().has_value());
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_FALSE(link.SendRestart());
}

TEST_F(ScaleLinkTest, TheDeviceListDoesNotOutliveTheLink) {
    bench.AttachScripted();
    {
        // The window ended by its close box: no exit took the link down.
        ScaleLink other(bench.device, bench.readPipe, bench.writePipe, bench.statusBuffer, bench.commandBuffer);
        ASSERT_EQ(other.FindScale(), FIND_OK);
        EXPECT_EQ(bench.kernel.ListCount(), 1u);
    }
    EXPECT_EQ(bench.kernel.ListCount(), 0u);
}

// ---- packets and exchanges

TEST_F(ScaleLinkTest, ReadWeightSendsCommandOneAndReturnsTheUnsignedCount) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.QueuePacket({2, 200, 0, 0, 0, 0, 0, 0});
    const std::optional<std::uint8_t> weight = link.ReadWeight();
    ASSERT_TRUE(weight.has_value());
    EXPECT_EQ(*weight, 200);
    ASSERT_EQ(scale.Writes().size(), 1u);
    EXPECT_EQ(scale.Writes()[0], (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ScaleLinkTest, CommandsAfterSetLimitsCarryTheLimitBytes) {
    sim::ScriptedDevice& scale = ConnectScripted();
    ASSERT_TRUE(link.SendLimits({10, 20, 30, 40, 50, 60, 70, 80}, LIMITS_AFTER_SAVE_TIMEOUT_MS));
    scale.QueuePacket({0, 5});
    ASSERT_TRUE(link.ReadWeight().has_value());
    ASSERT_TRUE(link.SendRestart());
    ASSERT_EQ(scale.Writes().size(), 3u);
    std::vector<std::uint8_t> packet = {2, 10, 20, 30, 40, 50, 60, 70, 80, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t commands[] = {2, 1, 3};
    for (std::size_t i = 0; i < 3; ++i) {
        packet[0] = commands[i];
        EXPECT_EQ(scale.Writes()[i], packet) << i;
    }
}

TEST_F(ScaleLinkTest, WriteThatTimesOutIsCancelledAndNoReadIsSubmitted) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    scale.QueuePacket({2, 50, 0, 1});
    const auto before = bench.clock.Now();
    EXPECT_FALSE(link.ReadWeight().has_value());
    EXPECT_EQ(bench.clock.Now() - before, 200'000);
    // The packet is still waiting: no read went out.
    EXPECT_EQ(scale.QueuedPackets(), 1u);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
    EXPECT_FALSE(bench.commandBuffer.Outstanding());
}

TEST_F(ScaleLinkTest, ReadStatusGivesUpAfter100MillisecondsAndLeavesNothingOutstanding) {
    ConnectScripted();
    const auto before = bench.clock.Now();
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bench.clock.Now() - before, 100'000);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
    EXPECT_FALSE(bench.statusBuffer.Outstanding());
}

TEST_F(ScaleLinkTest, PacketThatWinsTheRaceWithTheCancellationIsUsed) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.SetPacketOnCancel({2, 77, 0, 0x10, 0, 0, 0, 0});
    ASSERT_TRUE(link.ReadStatus());
    EXPECT_EQ(link.StatusPacket()[1], 77);
    EXPECT_EQ(link.StatusPacket()[3], 0x10);
    // And it is not delivered a second time.
    EXPECT_FALSE(link.ReadStatus());
}

TEST_F(ScaleLinkTest, ShortPacketsAreNotUsed) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.QueuePacket({2, 95, 0, 0x01, 0, 0, 0, 0});
    ASSERT_TRUE(link.ReadStatus());
    // A zero-length and a three-byte packet must not re-apply the bytes the
    // first packet left in the buffer.
    scale.QueuePacket({});
    scale.QueuePacket({2, 95, 0});
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_FALSE(link.ReadStatus());
    // A weight reply needs its weight byte.
    scale.QueuePacket({2});
    EXPECT_FALSE(link.ReadWeight().has_value());
    scale.QueuePacket({2, 9});
    EXPECT_EQ(link.ReadWeight(), std::optional<std::uint8_t>(9));
}

TEST_F(ScaleLinkTest, FailedRestartIsReported) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, 0xE0000004);
    EXPECT_FALSE(link.SendRestart());
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, 150'000);
    EXPECT_FALSE(link.SendRestart());  // 100 ms is not enough
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, 50'000);
    EXPECT_TRUE(link.SendRestart());
}

TEST_F(ScaleLinkTest, UnpluggedScaleFailsEveryExchange) {
    sim::ScriptedDevice& scale = ConnectScripted();
    scale.Unplug();
    EXPECT_FALSE(link.ReadWeight().has_value());
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_FALSE(link.SendLimits({}, LIMITS_AFTER_LOAD_TIMEOUT_MS));
}

}  // namespace
