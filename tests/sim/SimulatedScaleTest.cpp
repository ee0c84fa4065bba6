// The simulated scale's controller on virtual time; a whole day through the program is tests/longrun/ShiftTest.
#include "sim/SimulatedScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

namespace sim {
namespace {

constexpr Time S = 1'000'000;
constexpr Time W = 2'500'000;  // working from: default sync 1 s + tares 1.5 s
constexpr std::uint32_t REMOVED = 0xE000100A;

using Limits = std::array<std::uint8_t, 8>;
using Packets = std::vector<std::array<int, 3>>;  // state, count and line bits of each packet

// Items of 95 counts go to line 5 (bit 0x10) under these.
constexpr Limits SORTING{60, 70, 80, 90, 100, 110, 120, 130};

// Options changed by `tweak`, from a regular beat (two items a second, each of 95 counts) unless `jittered`.
template <typename F>
SimulatedScaleOptions With(F tweak, bool jittered = false) {
    SimulatedScaleOptions options;
    if (!jittered) options.itemJitter = options.weightSpread = 0.0;
    tweak(options);
    return options;
}

Packets Summary(const std::vector<Packet>& packets) {
    Packets summary;
    for (const Packet& p : packets) summary.push_back({p.bytes[0], p.bytes[1], p.bytes[3]});
    return summary;
}

// What a script step does before the host reads: a command byte (LIMITS sends SORTING), or a panel control.
// clang-format off
enum Action { NOTHING = -1, READ = 1, LIMITS, RESTART,
              REFERENCE_ON = 256, REFERENCE_OFF, PAUSE, RESUME, MUTE, UNPLUG, UNFAULT };
// clang-format on
struct Step {
    Time at;
    int action;
    Packets read;              // every packet the host then takes
    std::optional<Time> next;  // the model's next event after that
    std::uint64_t produced;    // items sorted so far
};

// A scale configured as the program configures it, with the host's ways of talking to it.
struct Scale {
    explicit Scale(const SimulatedScaleOptions& options = With([](auto&) {})) : model(options) {
        const InterfaceSetting setting{0, 0, 16};
        EXPECT_EQ(model.SetConfiguration(0, &setting, 1), 0u);
    }
    SimulatedScale* operator->() { return &model; }
    TransferOutcome Send(std::uint8_t command, Time now, const Limits& limits = SORTING) {
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
    void Run(std::initializer_list<Step> steps) {
        for (const Step& step : steps) {
            SCOPED_TRACE(::testing::Message() << "at " << step.at << ", action " << step.action);
            const int a = step.action;
            if (a == REFERENCE_ON || a == REFERENCE_OFF) model.SetReferenceOn(a == REFERENCE_ON, step.at);
            if (a == PAUSE || a == RESUME) model.SetPaused(a == PAUSE, step.at);
            if (a == MUTE || a == UNFAULT)
                model.SetFaults(With([a](auto& o) { o.faults.noAnswer = a == MUTE; }).faults, step.at);
            if (a == UNPLUG) model.Unplug(step.at);
            if (a > 0 && a < REFERENCE_ON) static_cast<void>(Send(static_cast<std::uint8_t>(a), step.at));
            const auto packets = TakeAll(step.at);
            for (const Packet& p : packets) EXPECT_EQ(p.size, 8u);
            EXPECT_EQ(Summary(packets), step.read);
            EXPECT_EQ(model.NextEventTime(step.at), step.next);
            EXPECT_EQ(model.ItemsProduced(), step.produced);
        }
    }
    // Every item reported until `until`, as {time, weight, line bits}, each taken as it falls due.
    std::vector<std::array<Time, 3>> Items(Time until) {
        std::vector<std::array<Time, 3>> items;
        for (std::optional<Time> now = 0; now && *now <= until; now = model.NextEventTime(*now))
            for (const auto& [state, weight, lines] : Summary(TakeAll(*now)))
                if (lines != 0) items.push_back({*now, weight, lines});
        return items;
    }
    SimulatedScale model;
};

TEST(SimulatedScaleIdentity, DescriptorNamesTheScaleAndEndpointsExistOnlyOnceConfigured) {
    const auto d = SimulatedScale().DeviceDescriptor();
    // Length, type, USB 1.1, control packet size, vendor 0x0C70, product 0x0000, one configuration.
    EXPECT_EQ((std::vector<int>{d[0], d[1], d[2], d[3], d[7], d[8], d[9], d[10], d[11], d[17]}),
              (std::vector<int>{18, 1, 0x10, 0x01, 8, 0x70, 0x0C, 0, 0, 1}));
    EXPECT_EQ(SimulatedScale(With([](auto& o) { o.maxPacketSize0 = 16; })).DeviceDescriptor()[7], 16);

    SimulatedScale scale;
    Packet packet;
    EXPECT_FALSE(scale.HasEndpoint(0x81));
    EXPECT_FALSE(scale.TakePacket(0x81, S, packet));
    EXPECT_EQ(scale.Write(0x02, packet.bytes.data(), 16, S).status, 0xE0001006u);
    // Only interface 0, alternate 0, configuration 0.
    const InterfaceSetting two[2] = {{0, 0, 16}, {1, 0, 16}}, alternate{0, 1, 16};
    EXPECT_EQ(scale.SetConfiguration(0, &two[1], 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, &alternate, 1), 0xE0001016u);
    EXPECT_EQ(scale.SetConfiguration(0, two, 2), 0xE000101Du);
    EXPECT_EQ(scale.SetConfiguration(1, two, 1), 0xE0001018u);
    EXPECT_EQ(scale.SetConfiguration(0, two, 1), 0u);
    EXPECT_EQ(SimulatedScale(With([](auto& o) { o.faults.unplugged = true; })).SetConfiguration(0, two, 1), REMOVED);
    for (const std::uint8_t endpoint : {0x81, 0x02, 0x01, 0x82})
        EXPECT_EQ(scale.HasEndpoint(endpoint), endpoint == 0x81 || endpoint == 0x02) << +endpoint;
    // Data only flow in the endpoints' own directions.
    EXPECT_EQ(scale.Write(0x81, packet.bytes.data(), 16, S).status, 0xE0001013u);
    EXPECT_FALSE(scale.TakePacket(0x02, S, packet));
}

// Gaps of the mean interval +- 25 %, weights of 95 +- 40 clamped to a byte.
TEST(SimulatedScaleItems, TheJitteredBeatAndTheWeightsStayInTheirBoundsAndTheSeedDecides) {
    const auto run = [](std::uint64_t seed, double mean = 95.0) {
        return Scale(With([&](auto& o) { o.seed = seed, o.weightMean = mean; }, true)).Items(W + 1500 * S);
    };
    const auto items = run(7);
    EXPECT_NEAR(static_cast<double>(items.size()), 3000.0, 100.0);
    std::set<Time> gaps, weights;
    double sum = 0.0;
    for (std::size_t i = 0; i < items.size(); sum += static_cast<double>(items[i++][1])) {
        if (i > 0) gaps.insert(items[i][0] - items[i - 1][0]);
        weights.insert(items[i][1]);
    }
    EXPECT_TRUE(*gaps.begin() >= 375'000 && *gaps.rbegin() <= 625'000 && gaps.size() > 10u);
    EXPECT_NEAR(sum / static_cast<double>(items.size()), 95.0, 2.0);
    // The whole range is used, and no more.
    EXPECT_TRUE(*weights.begin() >= 55 && *weights.begin() < 65) << *weights.begin();
    EXPECT_TRUE(*weights.rbegin() > 125 && *weights.rbegin() <= 135) << *weights.rbegin();
    EXPECT_EQ(run(7), items);
    EXPECT_NE(run(8), items);
    for (const Time mean : {5, 250}) {
        const auto clamped = run(1, static_cast<double>(mean));
        EXPECT_TRUE(std::any_of(clamped.begin(), clamped.end(),
                                [&](const auto& item) { return item[1] == std::clamp<Time>(mean, 1, 255); }));
        EXPECT_TRUE(std::none_of(clamped.begin(), clamped.end(), [](const auto& item) { return item[1] == 0; }));
    }
}

TEST(SimulatedScaleSorting, LowestLineWhoseLimitHoldsTheWeight) {
    const Limits rising{50, 100, 150, 200, 210, 220, 230, 240}, low{10, 20, 30, 40, 50, 60, 70, 80};
    // clang-format off
    const struct { int weight; std::optional<Limits> limits; int line; } cases[] = {
        {95, std::nullopt, 1},  // no limits yet
        {100, rising, 2}, {101, rising, 3}, {240, rising, 8},  // 100: equal to line 2's limit
        {90, low, 8}, {5, low, 1},  // 90: above every limit
        {101, Limits{100, 100, 100, 100, 100, 100, 100, 100}, 8},
        {60, Limits{0, 200, 50, 50, 50, 50, 50, 50}, 2},  // limits that fall
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weight);
        Scale scale(With([&](auto& o) { o.weightMean = c.weight; }));
        if (c.limits) scale.Send(SimulatedScale::CMD_SET_LIMITS, 0, *c.limits);
        const auto items = scale.Items(5 * S);
        ASSERT_FALSE(items.empty());
        for (const auto& item : items)
            EXPECT_EQ(std::pair(item[1], item[2]), (std::pair<Time, Time>(c.weight, 1 << (c.line - 1))));
        EXPECT_EQ(scale->LineTotals()[static_cast<std::size_t>(c.line - 1)], items.size());
    }
}

// clang-format off
// One shift: states on time, the weight reply ahead of the queue, limits from their arrival, a restart
// flushing reports but keeping limits and counts, a pause without a burst, a mute spell, unplugging.
TEST(SimulatedScaleTimeline, CommandsAndControlsTakeEffectWhenTheyArrive) {
    constexpr Time R = W + 5'250'000, P = R + W + 3 * S;  // a restart with two items waiting; a pause
    Scale scale;
    scale.Run({
        {0, READ, {{0, 12, 0}, {0, 12, 0}}, S, 0},
        {10, REFERENCE_ON, {}, S, 0},
        {20, READ, {{0, 107, 0}}, S, 0},
        {30, 9, {}, S, 0},  // an unknown command changes nothing
        {S - 1, NOTHING, {}, S, 0},
        {S, REFERENCE_OFF, {{1, 107, 0}}, W, 0},  // the state changed with the weight on
        {S, READ, {{1, 12, 0}}, W, 0},
        {W - 1, NOTHING, {}, W, 0},
        {W, NOTHING, {{2, 12, 0}}, W + 500'000, 0},
        {W + S, READ, {{2, 12, 0}, {2, 95, 1}, {2, 95, 1}}, W + 1'500'000, 2},  // ahead of two items; no limits yet
        {W + 2 * S, NOTHING, {{2, 95, 1}, {2, 95, 1}}, W + 2'500'000, 4},
        {W + 2 * S + 1, LIMITS, {}, W + 2'500'000, 4},
        {W + 4 * S, NOTHING, {{2, 95, 16}, {2, 95, 16}, {2, 95, 16}, {2, 95, 16}}, W + 4'500'000, 8},
        {R, RESTART, {{0, 12, 0}}, R + S, 10},
        {R + W, NOTHING, {{1, 12, 0}, {2, 12, 0}}, R + W + 500'000, 10},  // no items during the restart
        {R + W + 500'000, NOTHING, {{2, 95, 16}}, R + W + S, 11},
        {P, PAUSE, {{2, 95, 16}, {2, 95, 16}, {2, 95, 16}, {2, 95, 16}}, std::nullopt, 16},  // due before it: sorted
        {P + 50 * S, RESUME, {}, P + 50'500'000, 16},
        {P + 50'500'000, NOTHING, {{2, 95, 16}}, P + 51 * S, 17},
        {P + 60 * S, PAUSE, {{2, 95, 16}, {2, 95, 16}, {2, 95, 16}, {2, 95, 16}}, std::nullopt, 36},
        {P + 60 * S, RESTART, {{0, 12, 0}}, P + 61 * S, 36},  // the cycle goes on while paused
        {P + 61 * S, RESUME, {{1, 12, 0}}, P + 62'500'000, 36},
        {P + 61 * S, MUTE, {}, std::nullopt, 36},  // sorts on inside, answers nothing
        {P + 63 * S, RESTART, {}, std::nullopt, 37},
        {P + 80 * S, UNFAULT, {{2, 12, 0}, {2, 95, 16}, {2, 95, 16}, {2, 95, 16}}, P + 80'500'000, 71},
        {P + 82 * S, UNPLUG, {}, std::nullopt, 75},  // its queue lost, the items until then counted
        {P + 84 * S, UNFAULT, {}, std::nullopt, 75},  // unplugged for good
    });
    EXPECT_TRUE(scale->Unplugged());
    EXPECT_EQ(scale->Describe(P + 90 * S), "Balanza simulada: desconectada");
    EXPECT_EQ(scale->ItemsDropped(), 2u + 1u + 15u + 32u);
    EXPECT_EQ(scale->LineTotals(), (std::array<std::uint64_t, 8>{4, 0, 0, 0, 71}));
    EXPECT_TRUE(Scale(With([](auto& o) { o.paused = true; })).Items(60 * S).empty());
    EXPECT_EQ(SimulatedScale(With([](auto& o) { o.zeroCount = 200; o.referenceOn = true; })).PlatterCount(), 255);
}
// clang-format on

TEST(SimulatedScaleQueue, ALateReaderGetsEveryStateAndTheWeightReplyPushesOutTheNewestItem) {
    // Every state in order, and without items nothing more happens.
    Scale(With([](auto& o) {
        o.syncDuration = 3 * S, o.tareDuration = 0, o.itemsPerSecond = 0;
    })).Run({{10 * S, NOTHING, {{0, 12, 0}, {1, 12, 0}, {2, 12, 0}}, std::nullopt, 0}});
    // Six items, two kept, the newest pushed out by the reply; with room for one, the state reports are lost too.
    Scale small(With([](auto& o) { o.queueCapacity = 2; }));
    for (const Time at : {Time{0}, S, W}) small.TakeAll(at);
    small.Run({{W + 3 * S, READ, {{2, 12, 0}, {2, 95, 1}}, W + 3'500'000, 6}});
    EXPECT_EQ(small->ItemsDropped(), 5u);
    Scale(With([](auto& o) { o.queueCapacity = 1; })).Run({{W, NOTHING, {{0, 12, 0}}, W + 500'000, 0}});
}

TEST(SimulatedScaleFaults, WritesAreTakenWholeUnlessCutShortStalledMutedOrUnplugged) {
    using Kind = TransferOutcome::Kind;
    using F = SimulatedScaleFaults;
    // clang-format off
    // Reports: the start-up packets the host still gets.
    const struct { bool F::*fault; std::uint32_t size; Kind kind; std::uint32_t bytes, status; bool taken;
                   std::size_t reports; } rows[] = {
        {nullptr, 9, Kind::Done, 9, 0, true, 3},
        {nullptr, 8, Kind::Done, 8, 0, false, 3},  // cut short before the eighth limit
        {nullptr, 0, Kind::Done, 0, 0, false, 3},
        {&F::stall, 16, Kind::Pending, 0, 0, false, 3},  // never completes
        {&F::noAnswer, 16, Kind::Done, 16, 0, false, 0},  // accepted on the wire, ignored
        {&F::unplugged, 16, Kind::Failed, 0, REMOVED, false, 0},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        Scale scale;
        F faults;
        if (row.fault) faults.*row.fault = true;
        scale->SetFaults(faults, 0);
        const std::array<std::uint8_t, 16> command{2, 1, 2, 3, 4, 5, 6, 7, 8};
        const auto outcome = scale->Write(SimulatedScale::ENDPOINT_OUT, command.data(), row.size, S);
        EXPECT_EQ(std::tuple(outcome.kind, outcome.bytes, outcome.status, outcome.completeAt),
                  std::tuple(row.kind, row.bytes, row.status, std::optional<Time>{}));
        EXPECT_EQ(scale->LimitsReceived(), row.taken);
        EXPECT_EQ(scale.TakeAll(W).size(), row.reports);
    }
}

TEST(SimulatedScaleFaults, ShortPacketsCarryOnlyTheirBytes) {
    for (const std::uint8_t carried : {0, 1, 3, 7}) {
        const auto packets = Scale(With([&](auto& o) { o.faults.shortPacketBytes = carried; })).TakeAll(W + 500'000);
        ASSERT_EQ(packets.size(), 4u);
        decltype(Packet::bytes) expected{2, 95, 0, 0x01};  // the item's whole packet, cut below
        std::fill(expected.begin() + carried, expected.end(), std::uint8_t{0});
        EXPECT_EQ(std::pair(packets[3].size, packets[3].bytes), std::pair(std::uint32_t{carried}, expected));
    }
}

TEST(SimulatedScaleDescribe, SaysWhatTheScaleIsDoing) {
    Scale scale;
    EXPECT_EQ(scale->Describe(0), "Balanza simulada: Esperando sincronismo, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale->Describe(S), "Balanza simulada: Tomando taras, 0 piezas, sin peso patrón");
    EXPECT_EQ(scale->Describe(W + 500'000), "Balanza simulada: Trabajando, 1 pieza, sin peso patrón");
    scale->SetReferenceOn(true, W + 61 * S);
    scale->SetPaused(true, W + 61 * S);
    scale->SetFaults(With([](auto& o) { o.faults.noAnswer = true; }).faults, W + 70 * S);
    EXPECT_EQ(scale->Describe(W + 70 * S),
              "Balanza simulada: Trabajando, 122 piezas, peso patrón puesto, en pausa, no responde");
}

}  // namespace
}  // namespace sim
