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
constexpr std::uint32_t REMOVED = 0xE000100A;

using Limits = std::array<std::uint8_t, 8>;

SimulatedScaleOptions Regular(double itemsPerSecond = 2.0, double weightSpread = 40.0) {
    SimulatedScaleOptions options;
    options.itemsPerSecond = itemsPerSecond;
    options.itemJitter = 0.0;
    options.weightSpread = weightSpread;
    return options;
}
// Options changed by `tweak`, from a regular beat unless told otherwise.
template <typename F>
SimulatedScaleOptions With(F tweak, SimulatedScaleOptions options = Regular()) {
    tweak(options);
    return options;
}

// A scale configured as the program configures it, with the host's ways of
// talking to it.
struct Scale {
    explicit Scale(const SimulatedScaleOptions& options = {}) : model(options) {
        const InterfaceSetting setting{0, 0, 16};
        EXPECT_EQ(model.SetConfiguration(0, &setting, 1), 0u);
    }
    SimulatedScale* operator->() { return &model; }
    TransferOutcome Send(std::uint8_t command, Time now, const Limits& limits = {}) {
        std::array<std::uint8_t, 16> bytes{command};
        std::copy(limits.begin(), limits.end(), bytes.begin() + 1);
        return model.Write(SimulatedScale::ENDPOINT_OUT, bytes.data(), 16, now);
    }
    std::vector<Packet> TakeAll(Time now) {
        std::vector<Packet> packets;
        Packet packet;
        while (model.TakePacket(SimulatedScale::ENDPOINT_IN, now, packet)) packets.push_back(packet);
        return packets;
    }
    // The three start-up state packets, each taken as it falls due.
    void TakeStartUp() {
        std::size_t states = 0;
        for (const Time at : {Time{0}, SECOND, WORKING_AT}) states += TakeAll(at).size();
        EXPECT_EQ(states, 3u);
    }
    struct Item {
        Time at;
        std::uint8_t weight;
        int line;  // 1 to 8; 0: not one line bit
    };
    // Every item reported over a span, each taken as it falls due.
    std::vector<Item> ItemsUntil(Time from, Time until) {
        std::vector<Item> items;
        for (Time now = from;;) {
            for (const Packet& p : TakeAll(now)) {
                if (p.bytes[0] != 2 || p.bytes[3] == 0) continue;
                const int line = std::has_single_bit(p.bytes[3]) ? std::countr_zero(p.bytes[3]) + 1 : 0;
                items.push_back({now, p.bytes[1], line});
            }
            const auto next = model.NextEventTime(now);
            if (!next || *next > until) return items;
            now = *next;
        }
    }
    SimulatedScale model;
};

// State, count and line bits of each packet.
std::vector<std::array<int, 3>> Summary(const std::vector<Packet>& packets) {
    std::vector<std::array<int, 3>> summary;
    for (const Packet& p : packets) summary.push_back({p.bytes[0], p.bytes[1], p.bytes[3]});
    return summary;
}

TEST(SimulatedScaleIdentity, DescriptorNamesTheScaleAndEndpointsExistOnlyOnceConfigured) {
    const auto d = SimulatedScale().DeviceDescriptor();
    // Length, type, USB 1.1, control packet size, vendor 0x0C70, product 0x0000, one configuration.
    EXPECT_EQ((std::vector<int>{d[0], d[1], d[2], d[3], d[7], d[8], d[9], d[10], d[11], d[17]}),
              (std::vector<int>{18, 1, 0x10, 0x01, 8, 0x70, 0x0C, 0, 0, 1}));
    EXPECT_EQ(SimulatedScale(With([](auto& o) { o.maxPacketSize0 = 16; })).DeviceDescriptor()[7], 16);

    SimulatedScale scale;
    Packet packet;
    EXPECT_FALSE(scale.HasEndpoint(0x81));
    EXPECT_FALSE(scale.TakePacket(0x81, SECOND, packet));
    EXPECT_EQ(scale.Write(0x02, packet.bytes.data(), 16, SECOND).status, 0xE0001006u);
    // Only interface 0, alternate 0, configuration 0.
    const InterfaceSetting two[2] = {{0, 0, 16}, {1, 0, 16}}, alternate{0, 1, 16};
    EXPECT_EQ(scale.SetConfiguration(0, &two[1], 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, &alternate, 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, two, 2), 0xE000101Du);
    EXPECT_EQ(scale.SetConfiguration(1, two, 1), 0xE0001018u);
    EXPECT_EQ(scale.SetConfiguration(0, two, 1), 0u);
    for (const std::uint8_t endpoint : {0x81, 0x02, 0x01, 0x82})
        EXPECT_EQ(scale.HasEndpoint(endpoint), endpoint == 0x81 || endpoint == 0x02) << +endpoint;
    // Data only flow in the endpoints' own directions.
    EXPECT_EQ(scale.Write(0x81, packet.bytes.data(), 16, SECOND).status, 0xE0001013u);
    EXPECT_FALSE(scale.TakePacket(0x02, SECOND, packet));
}

TEST(SimulatedScaleCycle, ReportsEachStateAtItsTimeThenItemsAndALateReaderGetsThemInOrder) {
    Scale scale(Regular(10.0));
    Packet packet;
    ASSERT_TRUE(scale->TakePacket(0x81, 0, packet));
    EXPECT_EQ(packet.size, 8u);
    EXPECT_EQ(Summary({packet}), (std::vector<std::array<int, 3>>{{0, 12, 0}}));
    EXPECT_EQ(scale->NextEventTime(0), SECOND);
    EXPECT_FALSE(scale->TakePacket(0x81, SECOND - 1, packet));
    EXPECT_EQ(Summary(scale.TakeAll(SECOND)), (std::vector<std::array<int, 3>>{{1, 12, 0}}));
    EXPECT_TRUE(scale.TakeAll(WORKING_AT - 1).empty());
    EXPECT_EQ(scale->ItemsProduced(), 0u);
    EXPECT_EQ(Summary(scale.TakeAll(WORKING_AT)), (std::vector<std::array<int, 3>>{{2, 12, 0}}));
    EXPECT_EQ(scale->NextEventTime(WORKING_AT), WORKING_AT + 100'000);

    Scale late(With([](auto& o) { o.syncDuration = 3 * SECOND; o.tareDuration = 0; }, Regular(0.0)));
    EXPECT_EQ(Summary(late.TakeAll(10 * SECOND)),
              (std::vector<std::array<int, 3>>{{0, 12, 0}, {1, 12, 0}, {2, 12, 0}}));
    EXPECT_EQ(late->NextEventTime(10 * SECOND), std::nullopt) << "working without items: nothing more happens";
}

TEST(SimulatedScaleItems, RegularOrJitteredBeatAtTheRateAndTheSeedDecides) {
    Scale regular(Regular(2.0));
    regular.TakeStartUp();
    const auto beat = regular.ItemsUntil(WORKING_AT, WORKING_AT + 10 * SECOND);
    ASSERT_EQ(beat.size(), 20u);
    for (std::size_t i = 0; i < beat.size(); ++i)
        EXPECT_EQ(beat[i].at, WORKING_AT + static_cast<Time>(i + 1) * 500'000) << i;

    const auto run = [](std::uint64_t seed) {  // 2 items per second, jittered
        std::vector<std::pair<Time, int>> items;
        Scale scale(With([&](auto& o) { o.seed = seed; }, {}));
        for (const auto& item : scale.ItemsUntil(0, WORKING_AT + 100 * SECOND))
            items.emplace_back(item.at, item.weight);
        return items;
    };
    const auto items = run(7);
    EXPECT_GE(items.size(), 190u);
    EXPECT_LE(items.size(), 210u);
    std::set<Time> gaps;
    for (std::size_t i = 1; i < items.size(); ++i) gaps.insert(items[i].first - items[i - 1].first);
    EXPECT_GE(*gaps.begin(), 375'000);
    EXPECT_LE(*gaps.rbegin(), 625'000);
    EXPECT_GT(gaps.size(), 10u);
    EXPECT_EQ(run(7), items);
    const auto other = run(8);
    std::size_t same = 0;
    for (std::size_t i = 0; i < std::min(items.size(), other.size()); ++i) same += items[i] == other[i];
    EXPECT_LT(same, 5u);
}

TEST(SimulatedScaleItems, WeightsFollowTheDistributionWithinOneByte) {
    const auto items = Scale(Regular(10.0)).ItemsUntil(0, 300 * SECOND);
    ASSERT_GT(items.size(), 2500u);
    const auto [low, high] = std::minmax_element(items.begin(), items.end(),
                                                 [](const auto& a, const auto& b) { return a.weight < b.weight; });
    const double sum =
        std::accumulate(items.begin(), items.end(), 0.0, [](double s, const auto& item) { return s + item.weight; });
    EXPECT_NEAR(sum / static_cast<double>(items.size()), 95.0, 2.0);
    // The whole range is used, and no more.
    EXPECT_EQ((std::array<bool, 4>{low->weight >= 55, low->weight < 65, high->weight > 125, high->weight <= 135}),
              (std::array<bool, 4>{true, true, true, true}));
    for (const double mean : {5.0, 250.0}) {
        Scale edge(With([&](auto& o) { o.weightMean = mean; }, Regular(10.0)));
        const auto clamped = edge.ItemsUntil(0, 60 * SECOND);
        EXPECT_TRUE(std::any_of(clamped.begin(), clamped.end(),
                                [&](const auto& item) { return item.weight == (mean < 100 ? 1 : 255); }));
        EXPECT_TRUE(std::none_of(clamped.begin(), clamped.end(), [](const auto& item) { return item.weight == 0; }));
    }
}

TEST(SimulatedScaleSorting, LowestLineWhoseLimitHoldsTheWeight) {
    const Limits rising{50, 100, 150, 200, 210, 220, 230, 240}, low{10, 20, 30, 40, 50, 60, 70, 80};
    const struct {
        int weight;
        std::optional<Limits> limits;
        int line;
    } cases[] = {
        {95, std::nullopt, 1},  // no limits yet
        {100, rising, 2},       // equal to line 2's limit
        {101, rising, 3},
        {240, rising, 8},
        {90, low, 8},  // above every limit
        {5, low, 1},
        {101, Limits{100, 100, 100, 100, 100, 100, 100, 100}, 8},
        {60, Limits{0, 200, 50, 50, 50, 50, 50, 50}, 2},  // limits that fall
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weight);
        Scale scale(With([&](auto& o) { o.weightMean = c.weight; }, Regular(2.0, 0.0)));
        if (c.limits) scale.Send(SimulatedScale::CMD_SET_LIMITS, 0, *c.limits);
        EXPECT_EQ(scale->LimitsReceived(), c.limits.has_value());
        EXPECT_EQ(scale->LastLimits(), c.limits.value_or(Limits{255, 255, 255, 255, 255, 255, 255, 255}));
        const auto items = scale.ItemsUntil(0, 5 * SECOND);
        ASSERT_FALSE(items.empty());
        for (const auto& item : items) EXPECT_EQ(std::pair(int{item.weight}, item.line), std::pair(c.weight, c.line));
        EXPECT_EQ(scale->LineTotals()[static_cast<std::size_t>(c.line - 1)], items.size());
    }
}

TEST(SimulatedScaleSorting, NewLimitsApplyFromTheirArrivalAndATruncatedCommandIsNotTaken) {
    Scale scale(Regular(2.0, 0.0));  // every item weighs 95
    scale.TakeStartUp();
    const Time switchAt = WORKING_AT + 2 * SECOND + 1;
    const std::uint8_t truncated[5] = {2, 10, 20, 30, 40};
    EXPECT_EQ(scale->Write(0x02, truncated, 5, switchAt - 1).bytes, 5u);
    EXPECT_FALSE(scale->LimitsReceived());
    std::vector<int> lines;
    for (const auto& item : scale.ItemsUntil(WORKING_AT, switchAt - 1)) lines.push_back(item.line);
    scale.Send(SimulatedScale::CMD_SET_LIMITS, switchAt, {10, 20, 30, 40, 50, 60, 95, 200});
    for (const auto& item : scale.ItemsUntil(switchAt, WORKING_AT + 4 * SECOND)) lines.push_back(item.line);
    EXPECT_EQ(lines, (std::vector<int>{1, 1, 1, 1, 7, 7, 7, 7}));
}

TEST(SimulatedScaleCommands, TheWeightReplyCarriesThePlatterAndJumpsTheQueue) {
    Scale scale(Regular(2.0));
    auto readWeight = [&](Time now) {
        EXPECT_EQ(scale.Send(SimulatedScale::CMD_READ_WEIGHT, now).bytes, 16u);
        return scale.TakeAll(now).at(0);
    };
    EXPECT_EQ(readWeight(0).bytes[0], 0) << "the state as it is: still waiting for synchronisation";
    scale->SetReferenceOn(true, 10);
    EXPECT_EQ(readWeight(20).bytes[1], 12 + 95);
    // The state change at 1 s happened with the weight on, although nothing
    // was asked of the scale until 2 s, when it went off.
    scale->SetReferenceOn(false, 2 * SECOND);
    EXPECT_EQ(scale.TakeAll(2 * SECOND).at(0).bytes[1], 107);
    EXPECT_EQ(readWeight(2 * SECOND).bytes[1], 12);
    EXPECT_EQ(scale.TakeAll(WORKING_AT).size(), 1u);
    // Two items wait for the host when the weight is asked for.
    const Time now = WORKING_AT + SECOND;
    EXPECT_EQ(scale.Send(SimulatedScale::CMD_READ_WEIGHT, now).kind, TransferOutcome::Kind::Done);
    const auto packets = scale.TakeAll(now);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(Summary({packets[0]}), (std::vector<std::array<int, 3>>{{2, 12, 0}}));
    EXPECT_NE(packets[2].bytes[3], 0);
    EXPECT_EQ(scale->ItemsDropped(), 0u);
    const SimulatedScale heavy(With([](auto& o) { o.zeroCount = 200; o.referenceOn = true; }));
    EXPECT_EQ(heavy.PlatterCount(), 255) << "the count cannot pass one byte";
}

TEST(SimulatedScaleCommands, ARestartStartsTheCycleOverAndFlushesReportsAndUnknownCommandsChangeNothing) {
    Scale scale(Regular(2.0));
    scale.Send(SimulatedScale::CMD_SET_LIMITS, 0, {60, 70, 80, 90, 100, 110, 120, 130});
    scale.TakeStartUp();
    const Time restartAt = WORKING_AT + 1'250'000;  // two items waiting
    scale.Send(SimulatedScale::CMD_RESTART, restartAt);
    EXPECT_EQ(scale->ItemsDropped(), 2u);
    const auto totals = scale->LineTotals();
    const auto restarted = scale.TakeAll(restartAt);
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_EQ(restarted[0].bytes[0], 0);
    EXPECT_EQ(scale->NextEventTime(restartAt), restartAt + SECOND);
    EXPECT_EQ(scale.TakeAll(restartAt + WORKING_AT).size(), 2u);
    EXPECT_EQ(scale->ItemsProduced(), 2u) << "no items during the restart";
    EXPECT_EQ(scale->NextEventTime(restartAt + WORKING_AT), restartAt + WORKING_AT + 500'000);
    // The scale forgets neither its counts nor its limits.
    EXPECT_EQ(scale->LineTotals(), totals);
    EXPECT_EQ(scale->LastLimits()[0], 60);

    Scale idle(Regular(0.0));
    idle.TakeAll(0);
    EXPECT_EQ(idle.Send(0, 10).kind, TransferOutcome::Kind::Done);
    EXPECT_EQ(idle.Send(9, 20).bytes, 16u);
    EXPECT_EQ(idle->Write(0x02, nullptr, 0, 30).bytes, 0u);
    EXPECT_EQ(idle->QueuedPackets(), 0u);
    EXPECT_EQ(idle->NextEventTime(30), SECOND) << "the cycle goes on";
}

TEST(SimulatedScaleQueue, AFullQueueDropsTheNewestItemsAndTheWeightReplyPushesOutTheNewest) {
    const auto expected = Scale(With([](auto& o) { o.seed = 42; }, {})).ItemsUntil(0, WORKING_AT + 10 * SECOND);
    Scale scale(With([](auto& o) { o.seed = 42; }, {}));
    scale.TakeStartUp();
    // The host stops reading for ten seconds while items go on coming.
    const Time late = WORKING_AT + 10 * SECOND;
    EXPECT_TRUE(scale->NextEventTime(late).has_value());
    EXPECT_EQ(scale->QueuedPackets(), 4u);
    EXPECT_EQ(scale->ItemsDropped(), expected.size() - 4);
    const auto kept = scale.TakeAll(late);
    ASSERT_EQ(kept.size(), 4u);
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].bytes[1], expected[i].weight) << i;
    const auto delivered = scale->LineDelivered();
    EXPECT_EQ(std::accumulate(delivered.begin(), delivered.end(), std::uint64_t{0}) + scale->ItemsDropped(),
              scale->ItemsProduced());

    Scale small(With([](auto& o) { o.queueCapacity = 2; }));
    small.TakeStartUp();
    const Time now = WORKING_AT + 3 * SECOND;  // six items, two kept, the newest pushed out by the reply
    small.Send(SimulatedScale::CMD_READ_WEIGHT, now);
    EXPECT_EQ(small->ItemsDropped(), 5u);
    const auto packets = small.TakeAll(now);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].bytes[3], 0);  // the reply
    EXPECT_NE(packets[1].bytes[3], 0);  // the oldest item
    Scale tiny(With([](auto& o) { o.queueCapacity = 1; }));
    EXPECT_EQ(Summary(tiny.TakeAll(WORKING_AT)), (std::vector<std::array<int, 3>>{{0, 12, 0}}))
        << "state reports are lost too";
    EXPECT_EQ(tiny->State(), 2);
}

TEST(SimulatedScalePause, APausedScaleSortsNothingAndResumesWithoutABurst) {
    EXPECT_TRUE(Scale(With([](auto& o) { o.paused = true; })).ItemsUntil(0, 60 * SECOND).empty());
    Scale scale(Regular(2.0));
    // Not advanced since power-up: the items due before the pause still came.
    scale->SetPaused(true, WORKING_AT + 5 * SECOND);
    EXPECT_EQ(scale->ItemsProduced(), 10u);
    EXPECT_EQ(scale->NextEventTime(WORKING_AT + 5 * SECOND), std::nullopt);
    scale.TakeAll(60 * SECOND);
    EXPECT_EQ(scale->ItemsProduced(), 10u);
    scale->SetPaused(false, 60 * SECOND);
    EXPECT_EQ(scale->NextEventTime(60 * SECOND), 60 * SECOND + 500'000);
    EXPECT_EQ(scale.TakeAll(60 * SECOND + 500'000).size(), 1u);
    // The cycle itself goes on while paused.
    scale->SetPaused(true, 70 * SECOND);
    scale.Send(SimulatedScale::CMD_RESTART, 70 * SECOND);
    EXPECT_EQ(scale->NextEventTime(70 * SECOND), 71 * SECOND);
}

TEST(SimulatedScaleFaults, StalledWritesNeverCompleteAndNoAnswerKeepsEverythingBack) {
    Scale stalled(With([](auto& o) { o.faults.stall = true; }, {}));
    const auto outcome = stalled.Send(SimulatedScale::CMD_SET_LIMITS, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Pending);
    EXPECT_EQ(outcome.completeAt, std::nullopt);
    EXPECT_FALSE(stalled->LimitsReceived());
    EXPECT_EQ(stalled.TakeAll(WORKING_AT).size(), 3u) << "reports still come";

    Scale mute(With([](auto& o) { o.faults.noAnswer = true; }, {}));
    EXPECT_EQ(mute->NextEventTime(0), std::nullopt);
    EXPECT_EQ(mute.Send(SimulatedScale::CMD_SET_LIMITS, SECOND, {1, 2, 3, 4, 5, 6, 7, 8}).bytes, 16u);
    EXPECT_FALSE(mute->LimitsReceived());
    mute.Send(SimulatedScale::CMD_READ_WEIGHT, SECOND);
    EXPECT_TRUE(mute.TakeAll(60 * SECOND).empty());
    EXPECT_GT(mute->ItemsProduced(), 100u) << "the scale goes on sorting inside";
    mute->SetFaults({}, 60 * SECOND);
    const auto packets = mute.TakeAll(60 * SECOND);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(packets[0].bytes[0], 0);  // the start-up reports, no weight reply
    EXPECT_NE(packets[3].bytes[3], 0);
}

TEST(SimulatedScaleFaults, AnUnpluggedScaleFailsEverythingForGood) {
    SimulatedScale unplugged(With([](auto& o) { o.faults.unplugged = true; }, {}));
    const InterfaceSetting setting{0, 0, 16};
    EXPECT_EQ(unplugged.SetConfiguration(0, &setting, 1), REMOVED);
    EXPECT_EQ(unplugged.NextEventTime(0), std::nullopt);
    EXPECT_EQ(unplugged.Describe(0), "Balanza simulada: desconectada");

    Scale scale(Regular(2.0));
    scale->Unplug(WORKING_AT + 2 * SECOND);
    EXPECT_TRUE(scale->Unplugged());
    EXPECT_EQ(scale->ItemsProduced(), 4u);  // what came before the cable was pulled
    const auto write = scale.Send(1, WORKING_AT + 3 * SECOND);
    EXPECT_EQ(std::pair(write.kind, write.status), std::pair(TransferOutcome::Kind::Failed, REMOVED));
    scale->SetFaults({}, WORKING_AT + 4 * SECOND);
    EXPECT_TRUE(scale->Unplugged());
    EXPECT_TRUE(scale.TakeAll(WORKING_AT + 10 * SECOND).empty());
    EXPECT_EQ(scale->ItemsProduced(), 4u);
}

TEST(SimulatedScaleFaults, ShortPacketsCarryOnlyTheirBytes) {
    for (const std::uint8_t carried : {0, 1, 3, 7}) {
        Scale scale(With([&](auto& o) { o.faults.shortPacketBytes = carried; }, Regular(2.0, 0.0)));
        const auto packets = scale.TakeAll(WORKING_AT + 500'000);
        ASSERT_EQ(packets.size(), 4u);
        Packet expected{};
        expected.size = carried;
        const std::array<std::uint8_t, 8> full{2, 95, 0, 0x01, 0, 0, 0, 0};
        std::copy_n(full.begin(), carried, expected.bytes.begin());
        EXPECT_EQ(std::pair(packets[3].size, packets[3].bytes), std::pair(expected.size, expected.bytes)) << +carried;
    }
}

TEST(SimulatedScaleDescribe, SaysWhatTheScaleIsDoing) {
    Scale scale(Regular(2.0));
    EXPECT_EQ(scale->Describe(0), "Balanza simulada: Esperando sincronismo, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale->Describe(SECOND), "Balanza simulada: Tomando taras, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale->Describe(WORKING_AT + 500'000), "Balanza simulada: Trabajando, 1 pieza, sin peso patrón");
    scale->SetReferenceOn(true, WORKING_AT + 61 * SECOND);
    scale->SetPaused(true, WORKING_AT + 61 * SECOND);
    SimulatedScaleFaults mute;
    mute.noAnswer = true;
    scale->SetFaults(mute, WORKING_AT + 70 * SECOND);
    EXPECT_EQ(scale->Describe(WORKING_AT + 70 * SECOND),
              "Balanza simulada: Trabajando, 122 piezas, peso patrón puesto, en pausa, no responde");
}

}  // namespace
}  // namespace sim
