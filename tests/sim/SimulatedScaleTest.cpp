// The simulated scale's controller, driven on virtual time only. A whole
// day through the program is tests/longrun/ShiftTest.
#include "sim/SimulatedScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <numeric>
#include <set>
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

SimulatedScaleOptions Regular(double itemsPerSecond = 2.0) {
    SimulatedScaleOptions options;
    options.itemsPerSecond = itemsPerSecond;
    options.itemJitter = 0.0;
    return options;
}

TransferOutcome Send(SimulatedScale& scale, std::uint8_t command, Time now, const Limits& limits = {}) {
    std::array<std::uint8_t, 16> bytes{command};
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
    std::size_t states = 0;
    for (const Time at : {Time{0}, SECOND, WORKING_AT}) states += TakeAll(scale, at).size();
    ASSERT_EQ(states, 3u);
}

// Every item the scale reports over a span, each taken as it falls due.
struct Item {
    Time at;
    std::uint8_t weight;
    int line;  // 0: not one line bit
};
std::vector<Item> ItemsUntil(SimulatedScale& scale, Time from, Time until) {
    std::vector<Item> items;
    for (Time now = from;;) {
        for (const Packet& p : TakeAll(scale, now)) {
            if (p.bytes[0] != 2 || p.bytes[3] == 0) continue;
            const int line = std::has_single_bit(p.bytes[3]) ? std::countr_zero(p.bytes[3]) + 1 : 0;
            items.push_back({now, p.bytes[1], line});
        }
        const auto next = scale.NextEventTime(now);
        if (!next || *next > until) return items;
        now = *next;
    }
}

// ---- identity and configuration

TEST(SimulatedScaleIdentity, DescriptorNamesTheScale) {
    const auto d = SimulatedScale().DeviceDescriptor();
    // Length, type, USB 1.1, control packet size, vendor 0x0C70, product 0x0000, one configuration.
    EXPECT_EQ((std::vector<int>{d[0], d[1], d[2], d[3], d[7], d[8], d[9], d[10], d[11], d[17]}),
              (std::vector<int>{18, 1, 0x10, 0x01, 8, 0x70, 0x0C, 0, 0, 1}));
    SimulatedScaleOptions options;
    options.maxPacketSize0 = 16;
    EXPECT_EQ(SimulatedScale(options).DeviceDescriptor()[7], 16);
}

TEST(SimulatedScaleIdentity, EndpointsExistOnlyOnceConfigured) {
    SimulatedScale scale;
    EXPECT_FALSE(scale.HasEndpoint(0x81));
    Packet packet;
    EXPECT_FALSE(scale.TakePacket(0x81, SECOND, packet));
    EXPECT_EQ(Send(scale, 1, SECOND).status, 0xE0001006u);
    // Only interface 0, alternate 0, configuration 0.
    const InterfaceSetting other{1, 0, 16}, alternate{0, 1, 16}, good{0, 0, 16};
    const InterfaceSetting two[2] = {good, other};
    EXPECT_EQ(scale.SetConfiguration(0, &other, 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, &alternate, 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, two, 2), 0xE000101Du);
    EXPECT_NE(scale.SetConfiguration(1, &good, 1), 0u);
    EXPECT_FALSE(scale.Configured());

    Configure(scale);
    EXPECT_TRUE(scale.HasEndpoint(0x81));
    EXPECT_TRUE(scale.HasEndpoint(0x02));
    EXPECT_FALSE(scale.HasEndpoint(0x01));
    EXPECT_FALSE(scale.HasEndpoint(0x82));
    // Data only flows in the endpoints' own directions.
    EXPECT_EQ(scale.Write(0x81, packet.bytes.data(), 16, SECOND).status, 0xE0001013u);
    EXPECT_FALSE(scale.TakePacket(0x02, SECOND, packet));
}

// ---- the cycle and the items

TEST(SimulatedScaleCycle, ReportsEachStateAtItsTimeThenItems) {
    SimulatedScale scale(Regular(10.0));
    Configure(scale);
    Packet packet;
    ASSERT_TRUE(scale.TakePacket(0x81, 0, packet));
    EXPECT_EQ(packet.size, 8u);
    EXPECT_EQ((std::array<int, 3>{packet.bytes[0], packet.bytes[1], packet.bytes[3]}), (std::array<int, 3>{0, 12, 0}));
    EXPECT_EQ(scale.NextEventTime(0), SECOND);
    EXPECT_FALSE(scale.TakePacket(0x81, SECOND - 1, packet));
    ASSERT_TRUE(scale.TakePacket(0x81, SECOND, packet));
    EXPECT_EQ(packet.bytes[0], 1);
    EXPECT_FALSE(scale.TakePacket(0x81, WORKING_AT - 1, packet));
    EXPECT_EQ(scale.ItemsProduced(), 0u);
    ASSERT_TRUE(scale.TakePacket(0x81, WORKING_AT, packet));
    EXPECT_EQ(packet.bytes[0], 2);
    EXPECT_EQ(packet.bytes[3], 0);  // a state report, not an item
    EXPECT_EQ(scale.NextEventTime(WORKING_AT), WORKING_AT + 100'000);
}

TEST(SimulatedScaleCycle, LateReaderGetsTheStatesInOrder) {
    SimulatedScaleOptions options = Regular(0.0);
    options.syncDuration = 3 * SECOND;
    options.tareDuration = 0;
    SimulatedScale scale(options);
    Configure(scale);
    const auto packets = TakeAll(scale, 10 * SECOND);
    ASSERT_EQ(packets.size(), 3u);
    for (std::uint8_t i = 0; i < 3; ++i) EXPECT_EQ(packets[i].bytes[0], i);
    EXPECT_EQ(scale.NextEventTime(10 * SECOND), std::nullopt) << "working without items: nothing more happens";
}

TEST(SimulatedScaleItems, RegularOrJitteredBeatAtTheRate) {
    SimulatedScale regular(Regular(2.0));
    Configure(regular);
    TakeStartUp(regular);
    const auto beat = ItemsUntil(regular, WORKING_AT, WORKING_AT + 10 * SECOND);
    ASSERT_EQ(beat.size(), 20u);
    for (std::size_t i = 0; i < beat.size(); ++i) EXPECT_EQ(beat[i].at, WORKING_AT + static_cast<Time>(i + 1) * 500'000);

    SimulatedScale jittered;  // 2 items per second by default
    Configure(jittered);
    const auto items = ItemsUntil(jittered, 0, WORKING_AT + 100 * SECOND);
    EXPECT_GE(items.size(), 190u);
    EXPECT_LE(items.size(), 210u);
    std::set<Time> gaps;
    for (std::size_t i = 1; i < items.size(); ++i) gaps.insert(items[i].at - items[i - 1].at);
    EXPECT_GE(*gaps.begin(), 375'000);
    EXPECT_LE(*gaps.rbegin(), 625'000);
    EXPECT_GT(gaps.size(), 10u);
}

TEST(SimulatedScaleItems, SameSeedSameItemsOtherSeedOthers) {
    auto run = [](std::uint64_t seed) {
        SimulatedScaleOptions options;
        options.seed = seed;
        SimulatedScale scale(options);
        Configure(scale);
        std::vector<std::pair<Time, int>> items;
        for (const Item& item : ItemsUntil(scale, 0, 60 * SECOND)) items.emplace_back(item.at, item.weight);
        return items;
    };
    const auto first = run(7);
    ASSERT_GT(first.size(), 50u);
    EXPECT_EQ(run(7), first);
    const auto other = run(8);
    std::size_t same = 0;
    for (std::size_t i = 0; i < std::min(first.size(), other.size()); ++i) same += first[i] == other[i];
    EXPECT_LT(same, 5u);
}

TEST(SimulatedScaleItems, WeightsFollowTheDistributionWithinOneByte) {
    SimulatedScale scale(Regular(10.0));
    Configure(scale);
    const auto items = ItemsUntil(scale, 0, 300 * SECOND);
    ASSERT_GT(items.size(), 2500u);
    const auto [low, high] = std::minmax_element(items.begin(), items.end(),
                                                 [](const Item& a, const Item& b) { return a.weight < b.weight; });
    const double sum = std::accumulate(items.begin(), items.end(), 0.0,
                                       [](double s, const Item& item) { return s + item.weight; });
    EXPECT_NEAR(sum / static_cast<double>(items.size()), 95.0, 2.0);
    EXPECT_GE(low->weight, 55);
    EXPECT_LT(low->weight, 65);  // the whole range is used
    EXPECT_GT(high->weight, 125);
    EXPECT_LE(high->weight, 135);

    for (const double mean : {5.0, 250.0}) {
        SimulatedScaleOptions options = Regular(10.0);
        options.weightMean = mean;
        SimulatedScale edge(options);
        Configure(edge);
        const auto clamped = ItemsUntil(edge, 0, 60 * SECOND);
        EXPECT_TRUE(std::any_of(clamped.begin(), clamped.end(),
                                [&](const Item& item) { return item.weight == (mean < 100 ? 1 : 255); }))
            << mean;
        EXPECT_TRUE(std::none_of(clamped.begin(), clamped.end(), [](const Item& item) { return item.weight == 0; }));
    }
}

// ---- sorting

TEST(SimulatedScaleSorting, LowestLineWhoseLimitHoldsTheWeight) {
    const struct {
        const char* name;
        int weight;
        std::optional<Limits> limits;
        int line;
    } cases[] = {
        {"no limits yet", 95, std::nullopt, 1},
        {"equal to line 2's limit", 100, Limits{50, 100, 150, 200, 210, 220, 230, 240}, 2},
        {"just above line 2's limit", 101, Limits{50, 100, 150, 200, 210, 220, 230, 240}, 3},
        {"equal to the last limit", 240, Limits{50, 100, 150, 200, 210, 220, 230, 240}, 8},
        {"above every limit", 90, Limits{10, 20, 30, 40, 50, 60, 70, 80}, 8},
        {"below every limit", 5, Limits{10, 20, 30, 40, 50, 60, 70, 80}, 1},
        {"all limits equal, weight above", 101, Limits{100, 100, 100, 100, 100, 100, 100, 100}, 8},
        {"limits that fall", 60, Limits{0, 200, 50, 50, 50, 50, 50, 50}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedScaleOptions options = Regular(2.0);
        options.weightMean = c.weight;
        options.weightSpread = 0;
        SimulatedScale scale(options);
        Configure(scale);
        if (c.limits) Send(scale, SimulatedScale::CMD_SET_LIMITS, 0, *c.limits);
        EXPECT_EQ(scale.LimitsReceived(), c.limits.has_value());
        EXPECT_EQ(scale.LastLimits(), c.limits.value_or(Limits{255, 255, 255, 255, 255, 255, 255, 255}));
        const auto items = ItemsUntil(scale, 0, 5 * SECOND);
        ASSERT_FALSE(items.empty());
        for (const auto& item : items) {
            EXPECT_EQ(item.weight, c.weight);
            EXPECT_EQ(item.line, c.line);
        }
        EXPECT_EQ(scale.LineTotals()[static_cast<std::size_t>(c.line - 1)], items.size());
    }
}

TEST(SimulatedScaleSorting, NewLimitsApplyFromTheirArrivalAndATruncatedCommandIsNotTaken) {
    SimulatedScaleOptions options = Regular(2.0);
    options.weightSpread = 0;  // every item weighs 95
    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    const Time switchAt = WORKING_AT + 2 * SECOND + 1;
    const std::uint8_t truncated[5] = {2, 10, 20, 30, 40};
    EXPECT_EQ(scale.Write(0x02, truncated, 5, switchAt - 1).bytes, 5u);
    EXPECT_FALSE(scale.LimitsReceived());
    const auto before = ItemsUntil(scale, WORKING_AT, switchAt - 1);
    Send(scale, SimulatedScale::CMD_SET_LIMITS, switchAt, {10, 20, 30, 40, 50, 60, 95, 200});
    const auto after = ItemsUntil(scale, switchAt, WORKING_AT + 4 * SECOND);
    ASSERT_EQ(before.size(), 4u);
    ASSERT_EQ(after.size(), 4u);
    for (const auto& item : before) EXPECT_EQ(item.line, 1);
    for (const auto& item : after) EXPECT_EQ(item.line, 7);
}

// ---- commands

TEST(SimulatedScaleReadWeight, ReplyCarriesThePlatterAndJumpsTheQueue) {
    SimulatedScale scale(Regular(2.0));
    Configure(scale);
    auto readWeight = [&](Time now) {
        EXPECT_EQ(Send(scale, SimulatedScale::CMD_READ_WEIGHT, now).bytes, 16u);
        Packet packet;
        EXPECT_TRUE(scale.TakePacket(0x81, now, packet));
        return packet;
    };
    EXPECT_EQ(readWeight(0).bytes[0], 0) << "the state as it is: still waiting for synchronisation";
    scale.SetReferenceOn(true, 10);
    EXPECT_EQ(readWeight(20).bytes[1], 12 + 95);
    scale.SetReferenceOn(false, 30);
    EXPECT_EQ(readWeight(40).bytes[1], 12);
    TakeStartUp(scale);
    // Two items wait for the host when the weight is asked for.
    const Time now = WORKING_AT + SECOND;
    const Packet reply = readWeight(now);
    EXPECT_EQ((std::array<int, 3>{reply.bytes[0], reply.bytes[1], reply.bytes[3]}), (std::array<int, 3>{2, 12, 0}));
    EXPECT_EQ(TakeAll(scale, now).size(), 2u);
    EXPECT_EQ(scale.ItemsDropped(), 0u);

    SimulatedScaleOptions heavy;
    heavy.zeroCount = 200;
    heavy.referenceOn = true;
    EXPECT_EQ(SimulatedScale(heavy).PlatterCount(), 255) << "the count cannot pass one byte";
}

TEST(SimulatedScaleReadWeight, ReferenceChangeKeepsEarlierReports) {
    SimulatedScale scale(Regular(0.0));
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
    SimulatedScale scale(Regular(2.0));
    Configure(scale);
    Send(scale, SimulatedScale::CMD_SET_LIMITS, 0, {60, 70, 80, 90, 100, 110, 120, 130});
    TakeStartUp(scale);
    const Time restartAt = WORKING_AT + 1'250'000;  // two items waiting
    EXPECT_EQ(Send(scale, SimulatedScale::CMD_RESTART, restartAt).kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(scale.ItemsProduced(), 2u);
    EXPECT_EQ(scale.ItemsDropped(), 2u);
    const auto totals = scale.LineTotals();

    const auto restarted = TakeAll(scale, restartAt);
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_EQ(restarted[0].bytes[0], 0);
    EXPECT_EQ(scale.NextEventTime(restartAt), restartAt + SECOND);
    const auto packets = TakeAll(scale, restartAt + WORKING_AT);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes[0], 1);
    EXPECT_EQ(packets[1].bytes[0], 2);
    EXPECT_EQ(scale.ItemsProduced(), 2u) << "no items during the restart";
    EXPECT_EQ(scale.NextEventTime(restartAt + WORKING_AT), restartAt + WORKING_AT + 500'000);
    // The scale forgets neither its counts nor its limits.
    EXPECT_EQ(scale.LineTotals(), totals);
    EXPECT_EQ(scale.LastLimits()[0], 60);
}

TEST(SimulatedScaleCommands, UnknownAndEmptyCommandsChangeNothing) {
    SimulatedScale scale(Regular(0.0));
    Configure(scale);
    TakeAll(scale, 0);
    EXPECT_EQ(Send(scale, 0, 10).kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(Send(scale, 9, 20).bytes, 16u);
    EXPECT_EQ(scale.Write(0x02, nullptr, 0, 30).bytes, 0u);
    EXPECT_EQ(scale.QueuedPackets(), 0u);
    EXPECT_EQ(scale.NextEventTime(30), SECOND) << "the cycle goes on";
}

// ---- the bounded queue

TEST(SimulatedScaleQueue, FullQueueDropsTheNewestItems) {
    SimulatedScaleOptions options;
    options.seed = 42;
    SimulatedScale reference(options);
    Configure(reference);
    const auto expected = ItemsUntil(reference, 0, WORKING_AT + 10 * SECOND);

    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    // The host stops reading for ten seconds while items go on coming.
    const Time late = WORKING_AT + 10 * SECOND;
    EXPECT_TRUE(scale.NextEventTime(late).has_value());
    EXPECT_EQ(scale.QueuedPackets(), 4u);
    EXPECT_EQ(scale.ItemsDropped(), expected.size() - 4);
    const auto kept = TakeAll(scale, late);
    ASSERT_EQ(kept.size(), 4u);
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].bytes[1], expected[i].weight) << i;
    const auto delivered = scale.LineDelivered();
    EXPECT_EQ(std::accumulate(delivered.begin(), delivered.end(), std::uint64_t{0}) + scale.ItemsDropped(),
              scale.ItemsProduced());
}

TEST(SimulatedScaleQueue, SmallQueueLosesItemsToTheWeightReplyAndStateReportsToo) {
    SimulatedScaleOptions options = Regular(2.0);
    options.queueCapacity = 2;
    SimulatedScale scale(options);
    Configure(scale);
    TakeStartUp(scale);
    const Time now = WORKING_AT + 3 * SECOND;  // six items, two kept, the newest pushed out by the reply
    Send(scale, SimulatedScale::CMD_READ_WEIGHT, now);
    EXPECT_EQ(scale.ItemsProduced(), 6u);
    EXPECT_EQ(scale.ItemsDropped(), 5u);
    const auto packets = TakeAll(scale, now);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes[3], 0);  // the reply
    EXPECT_NE(packets[1].bytes[3], 0);  // the oldest item

    options.queueCapacity = 1;
    SimulatedScale tiny(options);
    Configure(tiny);
    const auto states = TakeAll(tiny, WORKING_AT);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].bytes[0], 0);
    EXPECT_EQ(tiny.State(), 2);
}

// ---- pause and faults

TEST(SimulatedScalePause, PausedScaleSortsNothingAndResumesWithoutABurst) {
    SimulatedScaleOptions options = Regular(2.0);
    options.paused = true;
    SimulatedScale paused(options);
    Configure(paused);
    EXPECT_TRUE(ItemsUntil(paused, 0, 60 * SECOND).empty());

    SimulatedScale scale(Regular(2.0));
    Configure(scale);
    // Not advanced since power-up: the items due before the pause still came.
    scale.SetPaused(true, WORKING_AT + 5 * SECOND);
    EXPECT_EQ(scale.ItemsProduced(), 10u);
    EXPECT_EQ(scale.NextEventTime(WORKING_AT + 5 * SECOND), std::nullopt);
    TakeAll(scale, 60 * SECOND);
    EXPECT_EQ(scale.ItemsProduced(), 10u);
    // Items resume one interval after the pause ends, not as a catch-up burst.
    scale.SetPaused(false, 60 * SECOND);
    EXPECT_EQ(scale.NextEventTime(60 * SECOND), 60 * SECOND + 500'000);
    EXPECT_EQ(TakeAll(scale, 60 * SECOND + 500'000).size(), 1u);
    // The cycle itself goes on while paused.
    scale.SetPaused(true, 70 * SECOND);
    Send(scale, SimulatedScale::CMD_RESTART, 70 * SECOND);
    EXPECT_EQ(scale.NextEventTime(70 * SECOND), 71 * SECOND);
}

TEST(SimulatedScaleFaults, StalledWritesNeverCompleteButReportsStillCome) {
    SimulatedScaleOptions options;
    options.faults.stall = true;
    SimulatedScale scale(options);
    Configure(scale);
    const auto outcome = Send(scale, SimulatedScale::CMD_SET_LIMITS, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Pending);
    EXPECT_EQ(outcome.completeAt, std::nullopt);
    EXPECT_FALSE(scale.LimitsReceived());
    EXPECT_EQ(TakeAll(scale, WORKING_AT).size(), 3u);
}

TEST(SimulatedScaleFaults, UnpluggedScaleFailsEverythingForGood) {
    SimulatedScaleOptions options;
    options.faults.unplugged = true;
    SimulatedScale unplugged(options);
    const InterfaceSetting setting{0, 0, 16};
    EXPECT_EQ(unplugged.SetConfiguration(0, &setting, 1), 0xE000100Au);
    EXPECT_EQ(unplugged.NextEventTime(0), std::nullopt);
    EXPECT_EQ(unplugged.Describe(0), "Balanza simulada: desconectada");

    SimulatedScale scale(Regular(2.0));
    Configure(scale);
    scale.Unplug(WORKING_AT + 2 * SECOND);
    EXPECT_TRUE(scale.Unplugged());
    EXPECT_EQ(scale.ItemsProduced(), 4u);  // what came before the cable was pulled
    const auto write = Send(scale, 1, WORKING_AT + 3 * SECOND);
    EXPECT_EQ(write.kind, TransferOutcome::Kind::Failed);
    EXPECT_EQ(write.status, 0xE000100Au);
    Packet packet;
    scale.SetFaults({}, WORKING_AT + 4 * SECOND);
    EXPECT_TRUE(scale.Unplugged());
    EXPECT_FALSE(scale.TakePacket(0x81, WORKING_AT + 10 * SECOND, packet));
    EXPECT_EQ(scale.ItemsProduced(), 4u);
}

TEST(SimulatedScaleFaults, ShortPacketsCarryOnlyTheirBytes) {
    for (const std::uint8_t carried : {0, 1, 3, 7}) {
        SimulatedScaleOptions options = Regular(2.0);
        options.weightSpread = 0;
        options.faults.shortPacketBytes = carried;
        SimulatedScale scale(options);
        Configure(scale);
        const auto packets = TakeAll(scale, WORKING_AT + 500'000);
        ASSERT_EQ(packets.size(), 4u);
        const Packet& item = packets[3];
        EXPECT_EQ(item.size, carried);
        const std::array<std::uint8_t, 8> full{2, 95, 0, 0x01, 0, 0, 0, 0};
        for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(item.bytes[i], i < carried ? full[i] : 0) << i << " of " << +carried;
    }
}

TEST(SimulatedScaleFaults, NoAnswerKeepsEverythingBack) {
    SimulatedScaleOptions options;
    options.faults.noAnswer = true;
    SimulatedScale scale(options);
    Configure(scale);
    EXPECT_EQ(scale.NextEventTime(0), std::nullopt);
    EXPECT_EQ(Send(scale, SimulatedScale::CMD_SET_LIMITS, SECOND, {1, 2, 3, 4, 5, 6, 7, 8}).bytes, 16u);
    EXPECT_FALSE(scale.LimitsReceived());
    Send(scale, SimulatedScale::CMD_READ_WEIGHT, SECOND);
    EXPECT_TRUE(TakeAll(scale, 60 * SECOND).empty());
    EXPECT_GT(scale.ItemsProduced(), 100u) << "the scale goes on sorting inside";

    scale.SetFaults({}, 60 * SECOND);
    const auto packets = TakeAll(scale, 60 * SECOND);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[0].bytes[0], 0);  // the start-up reports, no weight reply
    EXPECT_EQ(packets[3].bytes[0], 2);
    EXPECT_NE(packets[3].bytes[3], 0);
}

TEST(SimulatedScaleDescribe, SaysWhatTheScaleIsDoing) {
    SimulatedScale scale(Regular(2.0));
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

}  // namespace
}  // namespace sim
