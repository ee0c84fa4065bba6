// The scale link on the emulated driver: connect rows, search bound, configuration, close order, packets, waits.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

#include "tests/support/ConnectResults.h"
#include "tests/support/ScaleTestBench.h"

using namespace scale;
using testing_support::ScaleTestBench;
using testing_support::Situation;
using Bytes = std::vector<std::uint8_t>;

namespace {

using Micros = platform::emulated::Micros;
constexpr Micros MS = 1000;

// Builds the situation; the scale's index (-1: none), or nothing where only tests/faults or libusb show it.
std::optional<int> Arrange(Situation situation, ScaleTestBench& b) {
    switch (situation) {
        case Situation::NoDevice: return -1;
        case Situation::ForeignDevices:
            b.AttachScripted(0x1234, 0x0000);
            b.AttachScripted(0x0C70, 0x0001);
            return -1;
        case Situation::ScalesAfterForeign: b.AttachScripted(0x1234, 0x0000); break;
        case Situation::UnreadableDescriptor:
            b.AttachScripted();
            b.Driver(0).FailControl(sim::IOCTL_USBIO_GET_DESCRIPTOR, sim::DRIVER_STALL_PID);
            break;
        default: return std::nullopt;
    }
    b.AttachScripted();  // the scale, and a second one never looked at
    b.AttachScripted();
    return 1;
}

TEST(ScaleLinkConnectTest, TheSearchRowsOnTheEmulatedDriver) {
    int ran = 0;
    for (const testing_support::ConnectRow& row : testing_support::ConnectRows()) {
        SCOPED_TRACE(row.name);
        ScaleTestBench results;
        const std::optional<int> index = Arrange(row.situation, results);
        if (!index) continue;
        ++ran;
        const FindResult find = results.link.FindScale();
        EXPECT_EQ(find, row.find);
        if (find == FindResult::Ok) {
            EXPECT_EQ(results.link.ConfigureScale(), row.configure);
        } else {
            EXPECT_EQ(results.kernel.DeviceHandleCount(), 0u);  // candidates are closed again
        }
        EXPECT_EQ(results.link.ScaleIndex(), *index);
        EXPECT_EQ(results.kernel.ListCount(), 1u);  // kept for the exit
    }
    EXPECT_EQ(ran, 4) << "no device, foreign devices, scales after a foreign one, unreadable descriptor";
}

TEST(ScaleLinkConnectTest, SearchEndsAfterIndex126) {
    ScaleTestBench b;
    for (int i = 0; i < 127; ++i) b.AttachScripted(0x1111, 0);
    b.AttachScripted();  // index 127: never examined
    EXPECT_EQ(b.link.FindScale(), FindResult::NotIdentified);
    EXPECT_EQ(std::tuple(b.Driver(126).CloseLog().size(), b.Driver(127).CloseLog().size()), std::tuple(1u, 0u));
}

class ScaleLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(link.FindScale(), FindResult::Ok);
        ASSERT_EQ(link.ConfigureScale(), ConfigureResult::Ok);
    }
    ScaleTestBench bench;
    sim::ScriptedDevice& scale = bench.AttachScripted();
    ScaleLink& link = bench.link;
};

TEST_F(ScaleLinkTest, ConfigurationZeroWithInterfaceZeroForSixteenBytesThenThePackets) {
    ASSERT_EQ(scale.LastConfiguration().size(), 1u);
    const sim::InterfaceSetting& setting = scale.LastConfiguration()[0];
    EXPECT_EQ(std::tuple(scale.LastConfigurationIndex(), setting.interfaceNumber, setting.alternateSetting,
                         setting.maximumTransferSize),
              std::tuple(0, 0, 0, 16u));
    testing_support::ExpectPacketsByteForByte(link, [&](auto f) { f(scale); });
}

TEST_F(ScaleLinkTest, CloseTakesDownReadPipeWritePipeDeviceThenListAndMayRunTwice) {
    std::string lastCall;
    bench.kernel.SetFaultHook([&](const char* call) -> platform::DWORD {
        lastCall = call;
        return 0;
    });
    const std::size_t before = bench.Driver(0).CloseLog().size();
    link.Close();
    bench.kernel.SetFaultHook(nullptr);
    link.Close();
    // The endpoint each closed handle was bound to; the device's has none.
    const Bytes& closed = bench.Driver(0).CloseLog();
    EXPECT_EQ(Bytes(closed.begin() + static_cast<std::ptrdiff_t>(before), closed.end()), Bytes({0x81, 0x02, 0}));
    EXPECT_EQ(lastCall, "SetupDiDestroyDeviceInfoList");
    // Only the two buffers' own events are left, and every exchange fails.
    EXPECT_EQ(bench.kernel.HandleCount(), 2u);
    EXPECT_EQ(std::tuple(link.ReadWeight().has_value(), link.ReadStatus(), link.SendRestart()),
              std::tuple(false, false, false));
    {
        // A window ended by its close box: no exit took the link down.
        ScaleLink other(bench.device, bench.readPipe, bench.writePipe, bench.statusBuffer, bench.commandBuffer);
        ASSERT_EQ(other.FindScale(), FindResult::Ok);
    }
    EXPECT_EQ(bench.kernel.ListCount(), 0u);
}

TEST(ScaleLinkTimeOuts, EachWaitEndsExactlyAtItsBound) {
    struct Case {
        const char* name;
        Micros boundMs;
        bool heldBackIsTheRead;  // else the write's completion is held back
        std::function<bool(ScaleTestBench&)> exchange;
    };
    const auto readWeight = [](ScaleTestBench& b) { return b.link.ReadWeight().has_value(); };
    const Case cases[] = {
        {"ReadWeight, its write", 200, false, readWeight},
        {"ReadWeight, its read", 200, true, readWeight},
        {"ReadStatus", 100, true, [](ScaleTestBench& b) { return b.link.ReadStatus(); }},
        {"SendRestart", 100, false, [](ScaleTestBench& b) { return b.link.SendRestart(); }},
        {"SendLimits", 300, false, [](ScaleTestBench& b) { return b.link.SendLimits({}, 300); }},
    };
    // The awaited end comes 1 ms before the bound, 1 ms after it, or never.
    for (const Case& c : cases) {
        for (const std::optional<Micros> endsAtMs :
             {std::optional(c.boundMs - 1), std::optional(c.boundMs + 1), std::optional<Micros>()}) {
            SCOPED_TRACE(std::string(c.name) + ", ends at " + (endsAtMs ? std::to_string(*endsAtMs) : "never"));
            auto bench = std::make_unique<ScaleTestBench>();
            sim::ScriptedDevice& scale = bench->AttachScripted();
            bench->StoreCalibration(2.0f, {});
            bench->StartUp();
            const auto start = bench->clock.Now();
            if (c.heldBackIsTheRead) {
                if (endsAtMs) scale.QueuePacket({2, 9, 0, 1, 0, 0, 0, 0}, start + *endsAtMs * MS);
            } else {
                scale.QueuePacket({2, 9, 0, 1, 0, 0, 0, 0});
                if (endsAtMs) scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Delay, 0, *endsAtMs * MS);
                else scale.SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
            }
            const bool inTime = endsAtMs && *endsAtMs < c.boundMs;
            EXPECT_EQ(c.exchange(*bench), inTime);
            EXPECT_EQ(bench->clock.Now() - start, (inTime ? *endsAtMs : c.boundMs) * MS);
            EXPECT_EQ(bench->kernel.PendingRequestCount(), 0u);
        }
    }
}

TEST_F(ScaleLinkTest, APacketThatWinsTheRaceWithTheCancellationIsUsedOnce) {
    scale.SetPacketOnCancel({2, 77, 0, 0x10, 0, 0, 0, 0});
    ASSERT_TRUE(link.ReadStatus());
    EXPECT_EQ(Bytes(link.StatusPacket(), link.StatusPacket() + 4), Bytes({2, 77, 0, 0x10}));
    EXPECT_FALSE(link.ReadStatus());
}

TEST_F(ScaleLinkTest, ACancellationSlowerThanItsBoundFailsAndTheNextExchangeWaitsForIt) {
    const Micros wait = CANCEL_WAIT_MS * MS;
    bench.kernel.SetCancelDelay(wait + wait / 2);  // outlasts the link's wait by half
    auto start = bench.clock.Now();
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bench.clock.Now() - start, 150 * MS);  // the time-out and the 50 ms bound, no longer
    EXPECT_TRUE(bench.statusBuffer.Outstanding()) << "still the system's";
    start = bench.clock.Now();  // the next read goes out only once the left-over one has ended
    scale.QueuePacket({2, 61, 0, 0x08, 0, 0, 0, 0}, start + wait / 2 + 10 * MS);
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(link.StatusPacket()[1], 61);
    EXPECT_EQ(bench.clock.Now() - start, wait / 2 + 10 * MS);

    // A left-over outlasting the next wait too fails that exchange as well.
    bench.kernel.SetCancelDelay(2 * wait + wait / 2);
    EXPECT_FALSE(link.ReadStatus());
    start = bench.clock.Now();
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bench.clock.Now() - start, wait);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 1u);
    scale.QueuePacket({2, 62, 0, 0x08, 0, 0, 0, 0}, bench.clock.Now() + wait);
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(link.StatusPacket()[1], 62);
    EXPECT_EQ(bench.kernel.PendingRequestCount() + bench.kernel.AbandonedRequestCount(), 0u);
}

}  // namespace
