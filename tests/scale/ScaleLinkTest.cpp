// The scale link on the emulated driver: finding the scale among the
// driver's devices, configuring it, and the exchanges byte for byte, with
// their time-outs, cancellations and short packets. The result of each
// failed step, as the operator sees it, is in tests/ui/MainDialogTest.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/ScaleTestBench.h"

using namespace scale;
using testing_support::ScaleTestBench;

namespace {

constexpr platform::emulated::Micros MS = 1000;

class ScaleLinkTest : public ::testing::Test {
protected:
    ScaleTestBench bench;
    ScaleLink& link = bench.link;

    sim::ScriptedDevice& ConnectScripted() {
        sim::ScriptedDevice& scale = bench.AttachScripted();
        EXPECT_EQ(link.FindScale(), scale::FindResult::Ok);
        EXPECT_EQ(link.ConfigureScale(), scale::ConfigureResult::Ok);
        return scale;
    }
};

// ---- finding the scale

TEST_F(ScaleLinkTest, NoDeviceGivesThreeForeignDevicesAreOpenedClosedAndGiveTwo) {
    EXPECT_EQ(ScaleTestBench().link.FindScale(), scale::FindResult::NoDevice);
    bench.AttachScripted(0x1234, 0x0000);
    bench.AttachScripted(0x0C70, 0x0001);  // the scale's vendor, another product
    EXPECT_EQ(link.FindScale(), scale::FindResult::NotIdentified);
    EXPECT_EQ(link.ScaleIndex(), -1);
    // Both candidates were closed again: only the list is held.
    EXPECT_EQ(bench.kernel.DeviceHandleCount(), 0u);
    EXPECT_EQ(bench.kernel.ListCount(), 1u);
}

TEST_F(ScaleLinkTest, FirstScaleWinsOverALaterOne) {
    for (int i = 0; i < 3; ++i) bench.AttachScripted(0x0C71, 0);
    bench.AttachScripted();  // index 3
    bench.AttachScripted();  // index 4: never looked at
    EXPECT_EQ(link.FindScale(), scale::FindResult::Ok);
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
    EXPECT_EQ(link.FindScale(), scale::FindResult::NotIdentified);
    EXPECT_EQ(opens, 127);
}

TEST_F(ScaleLinkTest, DescriptorThatCannotBeReadIsPassedOver) {
    bench.AttachScripted();
    bench.AttachScripted();
    bench.Driver(0).FailControl(sim::IOCTL_GET_DESCRIPTOR, sim::DRIVER_STALL_PID);
    EXPECT_EQ(link.FindScale(), scale::FindResult::Ok);
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

TEST_F(ScaleLinkTest, ExitClosesTheReadPipeTheWritePipeAndTheDeviceInThisOrderAndThenTheList) {
    ConnectScripted();
    std::vector<std::string> calls;
    bench.kernel.SetFaultHook([&](const char* call) -> platform::DWORD {
        calls.emplace_back(call);
        return 0;
    });
    const std::vector<std::uint8_t> before = bench.Driver(0).CloseLog();
    link.Close();
    bench.kernel.SetFaultHook(nullptr);
    const std::vector<std::uint8_t>& after = bench.Driver(0).CloseLog();
    ASSERT_GE(after.size(), before.size());
    // The endpoint each handle was bound to; the device's handle has none.
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + static_cast<std::ptrdiff_t>(before.size()), after.end()),
              (std::vector<std::uint8_t>{0x81, 0x02, 0}));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "SetupDiDestroyDeviceInfoList");
}

TEST_F(ScaleLinkTest, TheDeviceListDoesNotOutliveTheLink) {
    bench.AttachScripted();
    {
        // The window ended by its close box: no exit took the link down.
        ScaleLink other(bench.device, bench.readPipe, bench.writePipe, bench.statusBuffer, bench.commandBuffer);
        ASSERT_EQ(other.FindScale(), scale::FindResult::Ok);
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

// ---- time-outs at their bound

// Saves or loads eight limits through the window, as the operator does;
// true when the scale took them.
bool TookTheLimits(const ScaleTestBench& bench) {
    const std::vector<std::string> texts = bench.window.MessageTexts();
    return !texts.empty() && texts.front() == "Nuevos Limites guardados y enviados";
}

bool SaveLimitsThroughTheWindow(ScaleTestBench& bench) {
    for (const int id : platform::LIMIT_FIELD_IDS) bench.Type(id, "10");
    bench.window.messages.clear();
    bench.window.ChooseNext(std::string("C:\\velsor\\turno.lim"));
    bench.Press(platform::IDC_SAVE_LIMITS);
    return TookTheLimits(bench);
}

bool LoadLimitsThroughTheWindow(ScaleTestBench& bench) {
    bench.files.SetFile("C:\\velsor\\turno.lim", std::vector<std::uint8_t>(16, 0));
    bench.window.messages.clear();
    bench.window.ChooseNext(std::string("C:\\velsor\\turno.lim"));
    bench.Press(platform::IDC_LOAD_LIMITS);
    return TookTheLimits(bench);
}

TEST(ScaleLinkTimeOuts, EachWaitEndsExactlyAtItsBound) {
    struct Case {
        const char* name;
        platform::emulated::Micros boundMs;
        bool heldBackIsTheRead;  // else the write's completion is held back
        std::function<bool(ScaleTestBench&)> exchange;
    };
    const auto readWeight = [](ScaleTestBench& b) { return b.link.ReadWeight().has_value(); };
    const Case cases[] = {
        {"ReadWeight, its write", 200, false, readWeight},
        {"ReadWeight, its read", 200, true, readWeight},
        {"ReadStatus", 100, true, [](ScaleTestBench& b) { return b.link.ReadStatus(); }},
        {"SendRestart", 100, false, [](ScaleTestBench& b) { return b.link.SendRestart(); }},
        {"limits after saving", 200, false, SaveLimitsThroughTheWindow},
        {"limits after loading", 300, false, LoadLimitsThroughTheWindow},
    };
    // The awaited end comes 1 ms before the bound, 1 ms after it, or never.
    for (const Case& c : cases) {
        for (const std::optional<platform::emulated::Micros> endsAtMs :
             {std::optional(c.boundMs - 1), std::optional(c.boundMs + 1), std::optional<platform::emulated::Micros>()}) {
            SCOPED_TRACE(std::string(c.name) + ", ends at " + (endsAtMs ? std::to_string(*endsAtMs) : "never"));
            auto bench = std::make_unique<ScaleTestBench>();
            sim::ScriptedDevice& scale = bench->AttachScripted();
            bench->StoreCalibration(2.0f, {});
            bench->StartUp();
            ASSERT_GE(bench->link.ScaleIndex(), 0);
            const auto start = bench->clock.Now();
            if (c.heldBackIsTheRead) {
                if (endsAtMs) scale.QueuePacket({2, 9, 0, 1, 0, 0, 0, 0}, start + *endsAtMs * MS);
            } else {
                scale.QueuePacket({2, 9, 0, 1, 0, 0, 0, 0});
                if (endsAtMs)
                    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, *endsAtMs * MS);
                else
                    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
            }
            const bool inTime = endsAtMs && *endsAtMs < c.boundMs;
            EXPECT_EQ(c.exchange(*bench), inTime);
            EXPECT_EQ(bench->clock.Now() - start, (inTime ? *endsAtMs : c.boundMs) * MS);
            EXPECT_EQ(bench->kernel.PendingRequestCount(), 0u);
        }
    }
}

// ---- cancellations slower than the link's wait for them

TEST_F(ScaleLinkTest, ATransferStillOutstandingAfterItsCancellationFailsAndTheNextExchangeWaitsForIt) {
    sim::ScriptedDevice& scale = ConnectScripted();
    const platform::emulated::Micros wait = CANCEL_WAIT_MS * MS;
    // Each cancellation outlasts the link's wait by half of it.
    bench.kernel.SetCancelDelay(wait + wait / 2);

    auto start = bench.clock.Now();
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bench.clock.Now() - start, 100 * MS + wait);
    // The window is blocked for the whole exchange: a silent scale may cost
    // a work tick its time-out and a little more, never a second.
    EXPECT_LE(bench.clock.Now() - start, 150 * MS);
    EXPECT_TRUE(bench.statusBuffer.Outstanding()) << "still the system's";
    // The next read goes out only once the left-over one has ended.
    start = bench.clock.Now();
    scale.QueuePacket({2, 61, 0, 0x08, 0, 0, 0, 0}, start + wait / 2 + 10 * MS);
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(link.StatusPacket()[1], 61);
    EXPECT_EQ(bench.clock.Now() - start, wait / 2 + 10 * MS);

    // The same on the command buffer.
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    EXPECT_FALSE(link.SendRestart());
    EXPECT_TRUE(bench.commandBuffer.Outstanding());
    scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Complete);
    start = bench.clock.Now();
    EXPECT_TRUE(link.SendRestart());
    EXPECT_EQ(bench.clock.Now() - start, wait / 2);
    EXPECT_EQ(scale.Writes().size(), 2u);

    // A left-over that outlasts the next wait as well fails that exchange
    // too, without starting another transfer on the buffer.
    bench.kernel.SetCancelDelay(2 * wait + wait / 2);
    EXPECT_FALSE(link.ReadStatus());
    start = bench.clock.Now();
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bench.clock.Now() - start, wait);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 1u);
    scale.QueuePacket({2, 62, 0, 0x08, 0, 0, 0, 0}, bench.clock.Now() + wait);
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(link.StatusPacket()[1], 62);

    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
    EXPECT_EQ(bench.kernel.AbandonedRequestCount(), 0u);
}

}  // namespace
