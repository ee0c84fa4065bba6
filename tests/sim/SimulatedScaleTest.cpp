// The simulated scale's controller, driven on virtual time only.
#include "sim/SimulatedScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace sim {
namespace {

constexpr Time SECOND = 1'000'000;
constexpr Time WORKING_AT = 2'500'000;  // default sync 1 s + tares 1.5 s

using Limits = std::array<std::uint8_t, 8>;

// A scale configured as the program configures it.
void Configure(SimulatedScale& scale) {
    const InterfaceSetting setting{0, 0, 16};
    ASSERT_EQ(scale.SetConfiguration(0, &setting, 1), 0u);
}

SimulatedScaleOptions RegularOptions(double itemsPerSecond = 2.0) {
    SimulatedScaleOptions options;
    options.itemsPerSecond = itemsPerSecond;
    options.itemJitter = 0.0;
    return options;
}

TransferOutcome SendCommand(SimulatedScale& scale, std::uint8_t command, Time now) {
    std::array<std::uint8_t, 16> bytes{};
    bytes[0] = command;
    return scale.Write(SimulatedScale::ENDPOINT_OUT, bytes.data(), 16, now);
}

TransferOutcome SendLimits(SimulatedScale& scale, const Limits& limits, Time now) {
    std::array<std::uint8_t, 16> bytes{};
    bytes[0] = SimulatedScale::CMD_SET_LIMITS;
    std::copy(limits.begin(), limits.end(), bytes.begin() + 1);
    return scale.Write(SimulatedScale::ENDPOINT_OUT, bytes.data(), 16, now);
}

std::vector<Packet> TakeAll(SimulatedScale& scale, Time now) {
    std::vector<Packet> packets;
    Packet packet;
    while (scale.TakePacket(SimulatedScale::ENDPOINT_IN, now, packet)) packets.push_back(packet);
    return packets;
}

// Takes the three start-up state packets as each falls due, so that only
// items follow (and a small queue holds them all).
void TakeStartUp(SimulatedScale& scale) {
    std::vector<Packet> packets;
    for (const Time at : {Time{0}, Time{1'000'000}, WORKING_AT})
        for (const auto& packet : TakeAll(scale, at)) packets.push_back(packet);
    ASSERT_EQ(packets.size(), 3u);
    ASSERT_EQ(packets[2].bytes[0], 2);
}

int LineOf(const Packet& packet) {
    for (int line = 0; line < 8; ++line)
        if (packet.bytes[3] == (1u << line)) return line + 1;
    return 0;
}

// Every item the scale reports over a span, taking each as it falls due.
struct Item {
    Time at;
    std::uint8_t weight;
    int line;
};
std::vector<Item> ItemsUntil(SimulatedScale& scale, Time from, Time until) {
    std::vector<Item> items;
    Time now = from;
    for (;;) {
        Packet packet;
        while (scale.TakePacket(SimulatedScale::ENDPOINT_IN, now, packet))
            if (packet.bytes[0] == 2 && packet.bytes[3] != 0) items.push_back({now, packet.bytes[1], LineOf(packet)});
        const auto next = scale.NextEventTime(now);
        if (!next || *next > until) break;
        now = *next;
    }
    return items;
}

// ------------------------------------------------------------ identity

TEST(SimulatedScaleIdentity, DescriptorNamesTheScale) {
    SimulatedScale scale;
    const auto d = scale.DeviceDescriptor();
    EXPECT_EQ(d[0], 18);  // bLength
    EXPECT_EQ(d[1], 1);   // device descriptor
    EXPECT_EQ(d[2], 0x10);
    EXPECT_EQ(d[3], 0x01);  // USB 1.1
    EXPECT_EQ(d[7], 8);
    EXPECT_EQ(d[8], 0x70);
    EXPECT_EQ(d[9], 0x0C);  // vendor 0x0C70, little-endian
    EXPECT_EQ(d[10], 0x00);
    EXPECT_EQ(d[11], 0x00);  // product 0x0000
    EXPECT_EQ(d[17], 1);     // one configuration

    SimulatedScaleOptions options;
    options.maxPacketSize0 = 16;
    EXPECT_EQ(SimulatedScale(options).DeviceDescriptor()[7], 16);
}

TEST(SimulatedScaleIdentity, EndpointsExistOnlyOnceConfigured) {
    SimulatedScale scale;
    EXPECT_FALSE(scale.HasEndpoint(0x81));
    EXPECT_FALSE(scale.HasEndpoint(0x02));
    Packet packet;
    EXPECT_FALSE(scale.TakePacket(0x81, SECOND, packet));
    const auto write = SendCommand(scale, 1, SECOND);
    EXPECT_EQ(write.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(write.status, 0xE0001006u);

    Configure(scale);
    EXPECT_TRUE(scale.Configured());
    EXPECT_TRUE(scale.HasEndpoint(0x81));
    EXPECT_TRUE(scale.HasEndpoint(0x02));
    EXPECT_FALSE(scale.HasEndpoint(0x01));
    EXPECT_FALSE(scale.HasEndpoint(0x82));
    // Data only flows in the endpoints' own directions.
    EXPECT_EQ(scale.Write(0x81, packet.bytes.data(), 16, SECOND).status, 0xE0001013u);
    EXPECT_FALSE(scale.TakePacket(0x02, SECOND, packet));
}

TEST(SimulatedScaleIdentity, RefusesOtherConfigurations) {
    SimulatedScale scale;
    const InterfaceSetting other{1, 0, 16};
    EXPECT_EQ(scale.SetConfiguration(0, &other, 1), 0xE0001016u);  // "Interface not found."
    const InterfaceSetting two[2] = {{0, 0, 16}, {1, 0, 16}};
    EXPECT_EQ(scale.SetConfiguration(0, two, 2), 0xE000101Du);  // one interface only
    const InterfaceSetting alternate{0, 1, 16};
    EXPECT_EQ(scale.SetConfiguration(0, &alternate, 1), 0xE0001016u);
    const InterfaceSetting good{0, 0, 16};
    EXPECT_NE(scale.SetConfiguration(1, &good, 1), 0u);
    EXPECT_NE(scale.SetConfiguration(0, nullptr, 0), 0u);
    EXPECT_FALSE(scale.Configured());
    EXPECT_FALSE(scale.HasEndpoint(0x81));
}

// ------------------------------------------------------------ start-up cycle

TEST(SimulatedScaleCycle, ReportsEachStateAtItsTime) {
    SimulatedScale scale(RegularOptions(0.0));
    Configure(scale);
    Packet packet;
    ASSERT_TRUE(scale.TakePacket(0x81, 0, packet));
    EXPECT_EQ(packet.size, 8u);
    EXPECT_EQ(packet.bytes[0], 0);
    EXPECT_EQ(packet.bytes[1], 12);  // the empty platter
    EXPECT_EQ(packet.bytes[3], 0);
    EXPECT_EQ(scale.NextEventTime(0), Time{1'000'000});

    EXPECT_FALSE(scale.TakePacket(0x81, 999'999, packet));
    ASSERT_TRUE(scale.TakePacket(0x81, 1'000'000, packet));
    EXPECT_EQ(packet.bytes[0], 1);
    EXPECT_EQ(packet.bytes[3], 0);
    EXPECT_EQ(scale.NextEventTime(1'000'000), Time{2'500'000});

    EXPECT_FALSE(scale.TakePacket(0x81, 2'499'999, packet));
    ASSERT_TRUE(scale.TakePacket(0x81, 2'500'000, packet));
    EXPECT_EQ(packet.bytes[0], 2);
    EXPECT_EQ(packet.bytes[3], 0);  // a state report, not an item
    EXPECT_EQ(scale.State(), 2);
    // Working without items: nothing more will happen by itself.
    EXPECT_EQ(scale.NextEventTime(2'500'000), std::nullopt);
    EXPECT_FALSE(scale.TakePacket(0x81, 100 * SECOND, packet));
}

TEST(SimulatedScaleCycle, LateReaderGetsTheStatesInOrder) {
    SimulatedScaleOptions options = RegularOptions(0.0);
    options.syncDuration = 3 * SECOND;
    options.tareDuration = 0;
    SimulatedScale scale(options);
    Configure(scale);
    EXPECT_EQ(scale.NextEventTime(0), 3 * SECOND);
    const auto packets = TakeAll(scale, 10 * SECOND);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].bytes[0], 0);
    EXPECT_EQ(packets[1].bytes[0], 1);
    EXPECT_EQ(packets[2].bytes[0], 2);
}

TEST(SimulatedScaleCycle, ItemsOnlyOnceWorking) {
    SimulatedScale scale(RegularOptions(10.0));
    Configure(scale);
    EXPECT_TRUE(TakeAll(scale, WORKING_AT - 1).size() == 2u);
    EXPECT_EQ(scale.ItemsProduced(), 0u);
    EXPECT_EQ(scale.NextEventTime(WORKING_AT - 1), WORKING_AT);
    const auto packets = TakeAll(scale, WORKING_AT);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].bytes[3], 0);
    EXPECT_EQ(scale.NextEventTime(WORKING_AT), WORKING_AT + 100'000);
}

// ------------------------------------------------------------ items

TEST(SimulatedScaleItems, RegularBeatAtTheRate) {
    SimulatedScale scale(RegularOptions(2.0));
    Configure(scale);
    TakeStartUp(scale);
    const auto items = ItemsUntil(scale, WORKING_AT, WORKING_AT + 10 * SECOND);
    ASSERT_EQ(items.size(), 20u);
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i].at, WORKING_AT + static_cast<Time>(i + 1) * 500'000) << "item " << i;
}

TEST(SimulatedScaleItems, JitteredRateKeepsItsAverage) {
    SimulatedScale scale;  // 2 items per second, jittered
    Configure(scale);
    TakeStartUp(scale);
    const auto items = ItemsUntil(scale, WORKING_AT, WORKING_AT + 100 * SECOND);
    EXPECT_GE(items.size(), 190u);
    EXPECT_LE(items.size(), 210u);
    bool irregular = false;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const Time gap = items[i].at - items[i - 1].at;
        EXPECT_GE(gap, 375'000);
        EXPECT_LE(gap, 625'000);
        irregular = irregular || gap != 500'000;
    }
    EXPECT_TRUE(irregular);
}

TEST(SimulatedScaleItems, SameSeedSameItemsOtherSeedOthers) {
    auto run = [](std::uint64_t seed) {
        SimulatedScaleOptions options;
        options.seed = seed;
        SimulatedScale scale(options);
        Configure(scale);
        return ItemsUntil(scale, 0, 60 * SECOND);
    };
    const auto first = run(7);
    const auto again = run(7);
    const auto other = run(8);
    ASSERT_EQ(first.size(), again.size());
    ASSERT_GT(first.size(), 50u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].at, again[i].at);
        EXPECT_EQ(first[i].weight, again[i].weight);
    }
    std::size_t same = 0;
    for (std::size_t i = 0; i < std::min(first.size(), other.size()); ++i)
        same += first[i].at == other[i].at && first[i].weight == other[i].weight;
    EXPECT_LT(same, 5u);
}

TEST(SimulatedScaleItems, WeightsFollowTheDistribution) {
    SimulatedScaleOptions options = RegularOptions(10.0);
    SimulatedScale scale(options);
    Configure(scale);
    const auto items = ItemsUntil(scale, 0, 300 * SECOND);
    ASSERT_GT(items.size(), 2500u);
    double sum = 0;
    std::uint8_t low = 255, high = 0;
    for (const auto& item : items) {
        sum += item.weight;
        low = std::min(low, item.weight);
        high = std::max(high, item.weight);
    }
    EXPECT_NEAR(sum / static_cast<double>(items.size()), 95.0, 2.0);
    EXPECT_GE(low, 55);
    EXPECT_LE(high, 135);
    EXPECT_LT(low, 65);  // the whole range is used
    EXPECT_GT(high, 125);
}

TEST(SimulatedScaleItems, WeightsClampToOneByte) {
    for (const double mean : {5.0, 250.0}) {
        SimulatedScaleOptions options = RegularOptions(10.0);
        options.weightMean = mean;
        SimulatedScale scale(options);
        Configure(scale);
        const auto items = ItemsUntil(scale, 0, 60 * SECOND);
        ASSERT_FALSE(items.empty());
        const bool atEdge = std::any_of(items.begin(), items.end(), [&](const Item& item) {
            return item.weight == (mean < 100 ? 1 : 255);
        });
        EXPECT_TRUE(atEdge) << "mean " << mean;
        for (const auto& item : items) EXPECT_GE(item.weight, 1) << "mean " << mean;
    }
}

// ------------------------------------------------------------ sorting

TEST(SimulatedScaleSorting, WithoutLimitsEverythingGoesToLineOne) {
    SimulatedScale scale;
    Configure(scale);
    EXPECT_FALSE(scale.LimitsReceived());
    EXPECT_EQ(scale.LastLimits(), Limits({255, 255, 255, 255, 255, 255, 255, 255}));
    const auto items = ItemsUntil(scale, 0, 30 * SECOND);
    ASSERT_FALSE(items.empty());
    for (const auto& item : items) EXPECT_EQ(item.line, 1);
    EXPECT_EQ(scale.LineTotals()[0], items.size());
}

TEST(SimulatedScaleSorting, LowestLineWhoseLimitHoldsTheWeight) {
    struct Case {
        const char* name;
        double weight;
        Limits limits;
        std::uint8_t lineBits;
    };
    const Case cases[] = {
        {"equal to line 2's limit", 100, {50, 100, 150, 200, 210, 220, 230, 240}, 0x02},
        {"just above line 2's limit", 101, {50, 100, 150, 200, 210, 220, 230, 240}, 0x04},
        {"equal to the last limit", 240, {50, 100, 150, 200, 210, 220, 230, 240}, 0x80},
        {"above every limit", 90, {10, 20, 30, 40, 50, 60, 70, 80}, 0x80},
        {"below every limit", 5, {10, 20, 30, 40, 50, 60, 70, 80}, 0x01},
        {"all limits equal, weight at them", 100, {100, 100, 100, 100, 100, 100, 100, 100}, 0x01},
        {"all limits equal, weight above", 101, {100, 100, 100, 100, 100, 100, 100, 100}, 0x80},
        {"limits that fall", 60, {0, 200, 50, 50, 50, 50, 50, 50}, 0x02},
    };
    for (const auto& c : cases) {
        SimulatedScaleOptions options = RegularOptions(2.0);
        options.weightMean = c.weight;
        options.weightSpread = 0;
        SimulatedScale scale(options);
        Configure(scale);
        SendLimits(scale, c.limits, 0);
        EXPECT_TRUE(scale.LimitsReceived());
        EXPECT_EQ(scale.LastLimits(), c.limits);
        const auto items = ItemsUntil(scale, 0, 5 * SECOND);
        ASSERT_FALSE(items.empty()) << c.name;
        for (const auto& item : items) {
            EXPECT_EQ(item.weight, static_cast<std::uint8_t>(c.weight)) << c.name;
            EXPECT_EQ(1u << (item.line - 1), c.lineBits) << c.name;
        }
    }
}

TEST(SimulatedScaleSorting, TotalsMatchTheReportedLines) {
    SimulatedScaleOptions options;
    options.itemsPerSecond = 5;
    SimulatedScale scale(options);
    Configure(scale);
    const Limits limits{60, 70, 80, 90, 100, 110, 120, 130};
    SendLimits(scale, limits, 0);
    const auto items = ItemsUntil(scale, 0, 120 * SECOND);
    std::array<std::uint64_t, 8> counted{};
    for (const auto& item : items) {
        ASSERT_GE(item.line, 1);
        ++counted[static_cast<std::size_t>(item.line - 1)];
        // The line's limit holds the weight, the line below's does not.
        if (item.line < 8) {
            EXPECT_LE(item.weight, limits[static_cast<std::size_t>(item.line - 1)]);
        }
        if (item.line > 1) {
            EXPECT_GT(item.weight, limits[static_cast<std::size_t>(item.line - 2)]);
        }
    }
    EXPECT_EQ(counted, scale.LineTotals());
    EXPECT_EQ(counted, scale.LineDelivered());
    EXPECT_EQ(std::count(counted.begin(), counted.end(), 0u), 0);  // the limits spread the items
}

TEST(SimulatedScaleSorting, NewLimitsApplyFromTheirArrival) {
    SimulatedScaleOptions options = RegularOptions(2.0);
    options.weightSpread = 0;  // every item weighs 95
    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    const auto before = ItemsUntil(scale, WORKING_AT, WORKING_AT + 2 * SECOND);
    SendLimits(scale, {10, 20, 30, 40, 50, 60, 95, 200}, WORKING_AT + 2 * SECOND + 1);
    const auto after = ItemsUntil(scale, WORKING_AT + 2 * SECOND + 1, WORKING_AT + 4 * SECOND);
    ASSERT_EQ(before.size(), 4u);
    ASSERT_EQ(after.size(), 4u);
    for (const auto& item : before) EXPECT_EQ(item.line, 1);
    for (const auto& item : after) EXPECT_EQ(item.line, 7);
}

TEST(SimulatedScaleSorting, TruncatedLimitsCommandIsNotTaken) {
    SimulatedScale scale;
    Configure(scale);
    const std::uint8_t bytes[5] = {2, 10, 20, 30, 40};
    const auto outcome = scale.Write(0x02, bytes, 5, 0);
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(outcome.bytes, 5u);
    EXPECT_FALSE(scale.LimitsReceived());
    EXPECT_EQ(scale.LastLimits()[0], 255);
}

// ------------------------------------------------------------ commands

TEST(SimulatedScaleReadWeight, ReplyJumpsTheQueue) {
    SimulatedScale scale(RegularOptions(2.0));
    Configure(scale);
    TakeStartUp(scale);
    // Two items wait for the host when the weight is asked for.
    const Time now = WORKING_AT + SECOND;
    const auto write = SendCommand(scale, SimulatedScale::CMD_READ_WEIGHT, now);
    EXPECT_EQ(write.kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(write.bytes, 16u);
    const auto packets = TakeAll(scale, now);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].bytes[0], 2);
    EXPECT_EQ(packets[0].bytes[1], 12);
    EXPECT_EQ(packets[0].bytes[3], 0);
    EXPECT_NE(packets[1].bytes[3], 0);
    EXPECT_NE(packets[2].bytes[3], 0);
    EXPECT_EQ(scale.ItemsDropped(), 0u);
}

TEST(SimulatedScaleReadWeight, ReflectsReferenceWeightAndState) {
    SimulatedScale scale(RegularOptions(0.0));
    Configure(scale);
    auto readWeight = [&](Time now) {
        SendCommand(scale, SimulatedScale::CMD_READ_WEIGHT, now);
        Packet packet;
        EXPECT_TRUE(scale.TakePacket(0x81, now, packet));
        return packet;
    };
    Packet reply = readWeight(0);
    EXPECT_EQ(reply.bytes[0], 0);  // still waiting for synchronisation
    EXPECT_EQ(reply.bytes[1], 12);
    scale.SetReferenceOn(true, 10);
    EXPECT_EQ(readWeight(20).bytes[1], 12 + 95);
    scale.SetReferenceOn(false, 30);
    EXPECT_EQ(readWeight(40).bytes[1], 12);
    TakeAll(scale, 40);

    SimulatedScaleOptions heavy;
    heavy.zeroCount = 200;
    heavy.referenceOn = true;
    SimulatedScale full(heavy);
    EXPECT_EQ(full.PlatterCount(), 255);  // the count cannot pass one byte
}

TEST(SimulatedScaleReadWeight, ReferenceChangeKeepsEarlierReports) {
    SimulatedScale scale(RegularOptions(0.0));
    Configure(scale);
    // Nothing was asked of the scale before the weight went on at 2 s: the
    // state change at 1 s still happened with the empty platter.
    scale.SetReferenceOn(true, 2 * SECOND);
    const auto packets = TakeAll(scale, 3 * SECOND);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].bytes[1], 12);
    EXPECT_EQ(packets[1].bytes[1], 12);
    EXPECT_EQ(packets[2].bytes[1], 107);
}

TEST(SimulatedScaleRestart, StartsTheCycleOverAndFlushesReports) {
    SimulatedScaleOptions options = RegularOptions(2.0);
    SimulatedScale scale(options);
    Configure(scale);
    SendLimits(scale, {60, 70, 80, 90, 100, 110, 120, 130}, 0);
    TakeStartUp(scale);
    const Time restartAt = WORKING_AT + 1'250'000;  // two items waiting
    EXPECT_EQ(SendCommand(scale, SimulatedScale::CMD_RESTART, restartAt).kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(scale.ItemsProduced(), 2u);
    EXPECT_EQ(scale.ItemsDropped(), 2u);
    const auto totals = scale.LineTotals();

    Packet packet;
    ASSERT_TRUE(scale.TakePacket(0x81, restartAt, packet));
    EXPECT_EQ(packet.bytes[0], 0);
    EXPECT_FALSE(scale.TakePacket(0x81, restartAt, packet));
    EXPECT_EQ(scale.NextEventTime(restartAt), restartAt + SECOND);
    EXPECT_EQ(scale.NextEventTime(restartAt + SECOND), restartAt + WORKING_AT);
    const auto packets = TakeAll(scale, restartAt + WORKING_AT);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes[0], 1);
    EXPECT_EQ(packets[1].bytes[0], 2);
    EXPECT_EQ(scale.ItemsProduced(), 2u);  // no items during the restart
    EXPECT_EQ(scale.NextEventTime(restartAt + WORKING_AT), restartAt + WORKING_AT + 500'000);
    // The scale forgets neither its counts nor its limits.
    EXPECT_EQ(scale.LineTotals(), totals);
    EXPECT_TRUE(scale.LimitsReceived());
    EXPECT_EQ(scale.LastLimits()[0], 60);
}

TEST(SimulatedScaleCommands, UnknownAndEmptyCommandsChangeNothing) {
    SimulatedScale scale(RegularOptions(0.0));
    Configure(scale);
    TakeAll(scale, 0);
    EXPECT_EQ(SendCommand(scale, 0, 10).kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(SendCommand(scale, 9, 20).bytes, 16u);
    const auto empty = scale.Write(0x02, nullptr, 0, 30);
    EXPECT_EQ(empty.kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(empty.bytes, 0u);
    EXPECT_EQ(scale.QueuedPackets(), 0u);
    EXPECT_EQ(scale.NextEventTime(30), Time{1'000'000});  // the cycle goes on
}

// ------------------------------------------------------------ the queue

TEST(SimulatedScaleQueue, FullQueueDropsTheNewestItems) {
    auto makeScale = [] {
        SimulatedScaleOptions options;
        options.seed = 42;
        return options;
    };
    SimulatedScale reference(makeScale());
    Configure(reference);
    const auto expected = ItemsUntil(reference, 0, WORKING_AT + 10 * SECOND);

    SimulatedScale scale(makeScale());
    Configure(scale);
    TakeStartUp(scale);
    // The host stops reading while items go on coming.
    const Time late = WORKING_AT + 10 * SECOND;
    EXPECT_EQ(scale.NextEventTime(late).has_value(), true);
    EXPECT_EQ(scale.QueuedPackets(), 4u);
    EXPECT_EQ(scale.ItemsProduced(), expected.size());
    EXPECT_EQ(scale.ItemsDropped(), expected.size() - 4);
    const auto kept = TakeAll(scale, late);
    ASSERT_EQ(kept.size(), 4u);
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].bytes[1], expected[i].weight) << i;
    // What the host saw plus what was lost is everything sorted.
    const auto delivered = scale.LineDelivered();
    EXPECT_EQ(std::accumulate(delivered.begin(), delivered.end(), std::uint64_t{0}) + scale.ItemsDropped(),
              scale.ItemsProduced());
}

TEST(SimulatedScaleQueue, WeightReplyPushesOutTheNewestItem) {
    SimulatedScaleOptions options = RegularOptions(2.0);
    options.queueCapacity = 2;
    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    const Time now = WORKING_AT + 3 * SECOND;  // six items, two kept
    EXPECT_EQ(scale.QueuedPackets(), 0u);  // not advanced yet
    SendCommand(scale, SimulatedScale::CMD_READ_WEIGHT, now);
    EXPECT_EQ(scale.ItemsProduced(), 6u);
    EXPECT_EQ(scale.ItemsDropped(), 5u);
    const auto packets = TakeAll(scale, now);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes[3], 0);  // the reply
    EXPECT_NE(packets[1].bytes[3], 0);  // the oldest item
}

TEST(SimulatedScaleQueue, SmallQueueLosesStateReportsToo) {
    SimulatedScaleOptions options = RegularOptions(0.0);
    options.queueCapacity = 1;
    SimulatedScale scale(options);
    Configure(scale);
    const auto packets = TakeAll(scale, 10 * SECOND);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].bytes[0], 0);
    EXPECT_EQ(scale.State(), 2);
}

// ------------------------------------------------------------ pause

TEST(SimulatedScalePause, PausedScaleSortsNothing) {
    SimulatedScaleOptions options = RegularOptions(2.0);
    options.paused = true;
    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    EXPECT_EQ(scale.NextEventTime(WORKING_AT), std::nullopt);
    EXPECT_TRUE(TakeAll(scale, 60 * SECOND).empty());
    EXPECT_EQ(scale.ItemsProduced(), 0u);

    // Items resume one interval after the pause ends, not as a catch-up burst.
    scale.SetPaused(false, 60 * SECOND);
    EXPECT_EQ(scale.NextEventTime(60 * SECOND), 60 * SECOND + 500'000);
    EXPECT_EQ(scale.ItemsProduced(), 0u);
    EXPECT_EQ(TakeAll(scale, 60 * SECOND + 500'000).size(), 1u);
}

TEST(SimulatedScalePause, PauseKeepsWhatCameBefore) {
    SimulatedScale scale(RegularOptions(2.0));
    Configure(scale);
    // Not advanced since power-up: the items due before the pause still came.
    scale.SetPaused(true, WORKING_AT + 5 * SECOND);
    EXPECT_EQ(scale.ItemsProduced(), 10u);
    EXPECT_EQ(scale.NextEventTime(WORKING_AT + 5 * SECOND), std::nullopt);
    TakeAll(scale, WORKING_AT + 20 * SECOND);
    EXPECT_EQ(scale.ItemsProduced(), 10u);
    // The cycle itself goes on while paused.
    SendCommand(scale, SimulatedScale::CMD_RESTART, 30 * SECOND);
    EXPECT_EQ(scale.NextEventTime(30 * SECOND), 31 * SECOND);
}

// ------------------------------------------------------------ faults

TEST(SimulatedScaleFaults, StalledWritesNeverComplete) {
    SimulatedScaleOptions options;
    options.faults.stall = true;
    SimulatedScale scale(options);
    Configure(scale);
    const auto outcome = SendLimits(scale, {1, 2, 3, 4, 5, 6, 7, 8}, 0);
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Pending);
    EXPECT_EQ(outcome.completeAt, std::nullopt);
    EXPECT_FALSE(scale.LimitsReceived());
    // Reports still come in.
    EXPECT_EQ(TakeAll(scale, WORKING_AT).size(), 3u);
}

TEST(SimulatedScaleFaults, UnpluggedScaleFailsEverything) {
    SimulatedScaleOptions options;
    options.faults.unplugged = true;
    SimulatedScale scale(options);
    EXPECT_TRUE(scale.Unplugged());
    const InterfaceSetting setting{0, 0, 16};
    EXPECT_EQ(scale.SetConfiguration(0, &setting, 1), 0xE000100Au);
    const auto write = SendCommand(scale, 1, 0);
    EXPECT_EQ(write.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(write.status, 0xE000100Au);
    Packet packet;
    EXPECT_FALSE(scale.TakePacket(0x81, SECOND, packet));
    EXPECT_EQ(scale.NextEventTime(0), std::nullopt);
    EXPECT_EQ(scale.Describe(0), "Balanza simulada: desconectada");
}

TEST(SimulatedScaleFaults, UnplugStopsTheScaleForGood) {
    SimulatedScale scale(RegularOptions(2.0));
    Configure(scale);
    EXPECT_FALSE(scale.Unplugged());
    scale.Unplug(WORKING_AT + 2 * SECOND);
    EXPECT_TRUE(scale.Unplugged());
    EXPECT_EQ(scale.ItemsProduced(), 4u);  // what came before the cable was pulled
    EXPECT_EQ(SendCommand(scale, 1, WORKING_AT + 3 * SECOND).status, 0xE000100Au);
    Packet packet;
    EXPECT_FALSE(scale.TakePacket(0x81, WORKING_AT + 3 * SECOND, packet));
    scale.SetFaults({}, WORKING_AT + 4 * SECOND);
    EXPECT_TRUE(scale.Unplugged());
    EXPECT_FALSE(scale.TakePacket(0x81, WORKING_AT + 10 * SECOND, packet));
    EXPECT_EQ(scale.ItemsProduced(), 4u);
}

TEST(SimulatedScaleFaults, ShortPacketsCarryOnlyTheirBytes) {
    for (const std::uint8_t carried : {0, 1, 3, 7}) {
        SimulatedScaleOptions options = RegularOptions(2.0);
        options.weightSpread = 0;
        options.faults.shortPacketBytes = carried;
        SimulatedScale scale(options);
        Configure(scale);
        const auto packets = TakeAll(scale, WORKING_AT + 500'000);
        ASSERT_EQ(packets.size(), 4u);
        const Packet& item = packets[3];
        EXPECT_EQ(item.size, carried);
        const std::array<std::uint8_t, 8> full{2, 95, 0, 0x01, 0, 0, 0, 0};
        for (std::size_t i = 0; i < 8; ++i)
            EXPECT_EQ(item.bytes[i], i < carried ? full[i] : 0) << "byte " << i << " of " << int{carried};
    }
}

TEST(SimulatedScaleFaults, NoAnswerKeepsEverythingBack) {
    SimulatedScaleOptions options;
    options.faults.noAnswer = true;
    SimulatedScale scale(options);
    Configure(scale);
    Packet packet;
    EXPECT_FALSE(scale.TakePacket(0x81, 0, packet));
    EXPECT_EQ(scale.NextEventTime(0), std::nullopt);
    const auto write = SendLimits(scale, {1, 2, 3, 4, 5, 6, 7, 8}, SECOND);
    EXPECT_EQ(write.kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(write.bytes, 16u);
    EXPECT_FALSE(scale.LimitsReceived());
    SendCommand(scale, SimulatedScale::CMD_READ_WEIGHT, SECOND);
    EXPECT_FALSE(scale.TakePacket(0x81, 60 * SECOND, packet));
    EXPECT_GT(scale.ItemsProduced(), 100u);  // the scale goes on sorting inside

    scale.SetFaults({}, 60 * SECOND);
    const auto packets = TakeAll(scale, 60 * SECOND);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[0].bytes[0], 0);  // the start-up reports, no weight reply
    EXPECT_EQ(packets[3].bytes[0], 2);
    EXPECT_NE(packets[3].bytes[3], 0);
}

// ------------------------------------------------------------ status line

TEST(SimulatedScaleDescribe, SaysWhatTheScaleIsDoing) {
    SimulatedScale scale(RegularOptions(2.0));
    EXPECT_EQ(scale.Describe(0), "Balanza simulada: Esperando sincronismo, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale.Describe(SECOND), "Balanza simulada: Tomando taras, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale.Describe(WORKING_AT + 500'000), "Balanza simulada: Trabajando, 1 pieza, sin peso patrón");
    scale.SetReferenceOn(true, WORKING_AT + 61 * SECOND);
    scale.SetPaused(true, WORKING_AT + 61 * SECOND);
    EXPECT_EQ(scale.Describe(WORKING_AT + 70 * SECOND),
              "Balanza simulada: Trabajando, 122 piezas, peso patrón puesto, en pausa");
    SimulatedScaleFaults faults;
    faults.noAnswer = true;
    scale.SetFaults(faults, WORKING_AT + 70 * SECOND);
    EXPECT_NE(scale.Describe(WORKING_AT + 70 * SECOND).find(", no responde"), std::string::npos);
}

// ------------------------------------------------------------ a working day

TEST(SimulatedScaleLongRun, HostThatKeepsUpLosesNothing) {
    SimulatedScaleOptions options;
    options.itemsPerSecond = 10;
    options.seed = 2024;
    SimulatedScale scale(options);
    Configure(scale);
    SendLimits(scale, {70, 80, 90, 95, 100, 110, 120, 130}, 0);
    const Time end = 8 * 3600 * SECOND;
    std::array<std::uint64_t, 8> hostCounts{};
    std::uint64_t statePackets = 0;
    Time now = 0;
    Packet packet;
    for (;;) {
        while (scale.TakePacket(0x81, now, packet)) {
            const int line = LineOf(packet);
            if (packet.bytes[0] == 2 && line > 0)
                ++hostCounts[static_cast<std::size_t>(line - 1)];
            else
                ++statePackets;
        }
        const auto next = scale.NextEventTime(now);
        if (!next || *next > end) break;
        ASSERT_GT(*next, now);
        now = *next;
    }
    const auto& totals = scale.LineTotals();
    EXPECT_EQ(statePackets, 3u);
    EXPECT_EQ(scale.ItemsDropped(), 0u);
    EXPECT_EQ(std::accumulate(totals.begin(), totals.end(), std::uint64_t{0}), scale.ItemsProduced());
    EXPECT_EQ(hostCounts, totals);
    EXPECT_EQ(scale.LineDelivered(), totals);
    EXPECT_NEAR(static_cast<double>(scale.ItemsProduced()), 288'000.0, 2'000.0);
}

}  // namespace
}  // namespace sim
