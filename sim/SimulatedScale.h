// The simulated scale: a model of the weighing and sorting controller as the
// host sees it over USB. It runs the controller's cycle (waiting for
// synchronisation, taking tares, working), weighs and sorts items by the
// limits the host sent, and reports every state change and every sorted item
// as one 8-byte status packet on endpoint 0x81, through a small bounded queue
// like the real controller's.
//
// The model never reads a clock: every call carries the virtual time `now`
// (microseconds), and the model advances lazily to it, producing in time
// order every state change and item that fell due since the last call. The
// same seed always gives the same items at the same times.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim {

// Faults the simulated scale can show.
struct SimulatedScaleFaults {
    // The controller's USB side is dead: reads never get a packet, writes are
    // accepted on the wire but their commands are ignored. The cycle goes on
    // inside (items are still sorted, the queue fills and overflows).
    bool noAnswer = false;
    // Writes never complete (pending forever) and their commands are lost.
    bool stall = false;
    // The device is gone: every transfer fails with "Device is removed.".
    bool unplugged = false;
    // When set, every packet handed to the host carries only this many bytes
    // (0 to 7); the bytes past it are left zero.
    std::optional<std::uint8_t> shortPacketBytes;
};

struct SimulatedScaleOptions {
    std::uint64_t seed = 1;
    // Items per second while working; 0 means no items ever arrive.
    double itemsPerSecond = 2.0;
    // Spacing between items is the mean interval times a factor drawn evenly
    // from [1 - itemJitter, 1 + itemJitter]; 0 gives a regular beat.
    double itemJitter = 0.25;
    // Item weights in counts: mean +- spread (a triangular distribution over
    // that range, most items near the mean), rounded and clamped to 1..255.
    double weightMean = 95.0;
    double weightSpread = 40.0;
    // What the empty platter reads, and what the reference weight adds
    // (95 counts: 190 g give a factor of 2.0 g per count).
    std::uint8_t zeroCount = 12;
    std::uint8_t referenceCounts = 95;
    bool referenceOn = false;
    bool paused = false;
    Time syncDuration = 1'000'000;
    Time tareDuration = 1'500'000;
    // Packets the controller can hold for the host (at least 1).
    std::uint32_t queueCapacity = 4;
    // bMaxPacketSize0 of the device descriptor (8 or 16).
    std::uint8_t maxPacketSize0 = 8;
    SimulatedScaleFaults faults;
};

class SimulatedScale final : public DeviceModel {
public:
    static constexpr std::uint16_t VENDOR_ID = 0x0C70;
    static constexpr std::uint16_t PRODUCT_ID = 0x0000;
    static constexpr std::uint8_t ENDPOINT_IN = 0x81;
    static constexpr std::uint8_t ENDPOINT_OUT = 0x02;
    static constexpr std::uint32_t STATUS_PACKET_SIZE = 8;
    static constexpr int LINE_COUNT = 8;

    static constexpr std::uint8_t STATE_WAITING_SYNC = 0;
    static constexpr std::uint8_t STATE_TAKING_TARES = 1;
    static constexpr std::uint8_t STATE_WORKING = 2;

    static constexpr std::uint8_t CMD_READ_WEIGHT = 1;
    static constexpr std::uint8_t CMD_SET_LIMITS = 2;
    static constexpr std::uint8_t CMD_RESTART = 3;

    // Powers up at virtual time 0 in state 0.
    explicit SimulatedScale(const SimulatedScaleOptions& options = {});
    SimulatedScale(const SimulatedScale&) = delete;
    SimulatedScale& operator=(const SimulatedScale&) = delete;

    // DeviceModel
    std::array<std::uint8_t, 18> DeviceDescriptor() const override;
    std::uint32_t SetConfiguration(std::uint16_t configurationIndex, const InterfaceSetting* settings,
                                   std::uint16_t count) override;
    bool HasEndpoint(std::uint8_t address) const override;
    TransferOutcome Write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t size, Time now) override;
    bool TakePacket(std::uint8_t endpoint, Time now, Packet& packet) override;
    std::optional<Time> NextEventTime(Time now) const override;
    bool Unplugged() const override;

    // Controls (the terminal's panel keys and the tests). Each first brings
    // the model up to `now`, so that what happened before the change keeps
    // the old setting.
    void SetReferenceOn(bool on, Time now);
    // Stops the flow of items; the cycle's own state changes go on.
    void SetPaused(bool paused, Time now);
    // Removes the device: it has no power and fails everything until it is
    // plugged in again.
    void Unplug(Time now);
    // Powers a removed scale up again, as a fresh device: unconfigured, with
    // no limits and its cycle from the start (waiting for synchronisation).
    void PlugIn(Time now);
    // Replaces the faults. `unplugged` can be set here; only PlugIn clears it.
    void SetFaults(const SimulatedScaleFaults& faults, Time now);

    // A one-line description in Spanish for the status line.
    std::string Describe(Time now) const;

    // Observations for the tests and the end-to-end checks. They reflect the
    // model as far as it has been advanced by the last call that took a time.
    std::uint8_t State() const { return sim_.state; }
    bool ReferenceOn() const { return sim_.referenceOn; }
    bool Paused() const { return sim_.paused; }
    const SimulatedScaleFaults& Faults() const { return sim_.faults; }
    // The count the platter shows now: zero count plus the reference weight
    // when it is on.
    std::uint8_t PlatterCount() const;
    // Items sorted onto each line (line 1 first) since power-up, whether or
    // not their reports reached the host. A restart does not clear them.
    const std::array<std::uint64_t, LINE_COUNT>& LineTotals() const { return sim_.lineTotals; }
    // Item reports the host took, per line: what a host that decodes every
    // packet has counted.
    const std::array<std::uint64_t, LINE_COUNT>& LineDelivered() const { return sim_.lineDelivered; }
    std::uint64_t ItemsProduced() const { return sim_.itemsProduced; }
    // Item reports that can never reach the host: dropped because the queue
    // was full, pushed out by a weight reply, or flushed by a restart.
    std::uint64_t ItemsDropped() const { return sim_.itemsDropped; }
    // Packets of any kind waiting for the host.
    std::uint32_t QueuedPackets() const { return sim_.queueSize; }
    // The limits in counts, line 1 first. Before any CMD_SET_LIMITS they are
    // all 255, so every item goes to line 1.
    const std::array<std::uint8_t, LINE_COUNT>& LastLimits() const { return sim_.limits; }
    bool LimitsReceived() const { return sim_.limitsReceived; }
    bool Configured() const { return configured_; }

private:
    struct QueueEntry {
        Packet packet;
        std::int8_t line = -1;  // 0..7 for an item report, -1 otherwise
    };

    // Everything that moves with time. Kept apart and mutable because the
    // const observers (NextEventTime, Describe) advance it lazily as well;
    // advancing changes nothing an earlier call could have seen.
    struct Simulation {
        Time advancedTo = 0;
        std::uint8_t state = STATE_WAITING_SYNC;
        std::optional<Time> nextStateChange;
        std::optional<Time> nextItem;
        std::uint64_t rng = 0;

        bool referenceOn = false;
        bool paused = false;
        SimulatedScaleFaults faults;

        std::array<std::uint8_t, LINE_COUNT> limits{};
        bool limitsReceived = false;

        std::vector<QueueEntry> queue;  // ring buffer, sized once
        std::uint32_t queueHead = 0;
        std::uint32_t queueSize = 0;

        std::array<std::uint64_t, LINE_COUNT> lineTotals{};
        std::array<std::uint64_t, LINE_COUNT> lineDelivered{};
        std::uint64_t itemsProduced = 0;
        std::uint64_t itemsDropped = 0;
    };

    void AdvanceTo(Time now) const;
    void EnterState(std::uint8_t state, Time at) const;
    void ProduceItem(Time at) const;
    void ScheduleNextItem(Time after) const;
    void StartCycle(Time at) const;
    void FlushQueue() const;
    void ExecuteCommand(const std::uint8_t* data, std::uint32_t size, Time now);

    [[nodiscard]] bool PushBack(const Packet& packet, std::int8_t line) const;
    void PushFront(const Packet& packet, std::int8_t line) const;
    [[nodiscard]] bool PopFront(QueueEntry& entry) const;

    std::uint64_t NextRandom() const;
    double NextUnit() const;
    std::uint8_t DrawWeight() const;
    Time DrawInterval() const;
    static int LineFor(const std::array<std::uint8_t, LINE_COUNT>& limits, std::uint8_t weight);
    Packet MakeStatusPacket(std::uint8_t state, std::uint8_t count, std::uint8_t lineBits) const;

    SimulatedScaleOptions options_;
    bool configured_ = false;
    mutable Simulation sim_;
};

}  // namespace sim
