#include "sim/SimulatedScale.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr std::uint8_t LIMIT_NONE = 255;

}  // namespace

SimulatedScale::SimulatedScale(const SimulatedScaleOptions& options) : options_(options) {
    sim_.rng = options_.seed;
    sim_.referenceOn = options_.referenceOn;
    sim_.paused = options_.paused;
    sim_.faults = options_.faults;
    // Until the host sends limits every item fits under line 1's limit.
    sim_.limits.fill(LIMIT_NONE);
    // The queue is sized once here; the exchanges never allocate.
    sim_.queue.resize(std::max<std::uint32_t>(1, options_.queueCapacity));
    StartCycle(0);
}

// ---------------------------------------------------------------- identity

std::array<std::uint8_t, 18> SimulatedScale::DeviceDescriptor() const {
    const std::uint8_t packetSize0 = options_.maxPacketSize0 == 16 ? 16 : 8;
    return {
        18,  // bLength
        1,   // bDescriptorType: device
        0x10,
        0x01,  // bcdUSB 1.10
        0,     // bDeviceClass: given per interface
        0,     // bDeviceSubClass
        0,     // bDeviceProtocol
        packetSize0, VENDOR_ID & 0xFF, VENDOR_ID >> 8, PRODUCT_ID & 0xFF, PRODUCT_ID >> 8, 0x00,
        0x01,  // bcdDevice 1.00
        0,     // iManufacturer
        0,     // iProduct
        0,     // iSerialNumber
        1,     // bNumConfigurations
    };
}

std::uint32_t SimulatedScale::SetConfiguration(std::uint16_t configurationIndex, const InterfaceSetting* settings,
                                               std::uint16_t count) {
    if (sim_.faults.unplugged) return DRIVER_DEVICE_REMOVED;
    if (count > 1) return DRIVER_ONE_INTERFACE_ONLY;
    if (count == 0 || settings == nullptr || configurationIndex != 0) return DRIVER_INVALID_PARAMETER;
    if (settings[0].interfaceNumber != 0 || settings[0].alternateSetting != 0) return DRIVER_INTERFACE_NOT_FOUND;
    configured_ = true;
    return 0;
}

bool SimulatedScale::HasEndpoint(std::uint8_t address) const {
    return configured_ && (address == ENDPOINT_IN || address == ENDPOINT_OUT);
}

bool SimulatedScale::Unplugged() const { return sim_.faults.unplugged; }

// ---------------------------------------------------------------- transfers

TransferOutcome SimulatedScale::Write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t size, Time now) {
    TransferOutcome outcome;
    if (sim_.faults.unplugged) {
        outcome.kind = TransferOutcome::Kind::Failed;
        outcome.status = DRIVER_DEVICE_REMOVED;
        return outcome;
    }
    if (!configured_ || endpoint != ENDPOINT_OUT) {
        outcome.kind = TransferOutcome::Kind::Failed;
        outcome.status = configured_ ? DRIVER_PIPE_NOT_FOUND : DRIVER_NOT_CONFIGURED;
        return outcome;
    }
    AdvanceTo(now);
    if (sim_.faults.stall) {
        // The controller never takes the data: the transfer stays pending
        // and the command never reaches it.
        outcome.kind = TransferOutcome::Kind::Pending;
        outcome.completeAt.reset();
        return outcome;
    }
    if (!sim_.faults.noAnswer && data != nullptr) ExecuteCommand(data, size, sim_.advancedTo);
    outcome.kind = TransferOutcome::Kind::Done;
    outcome.bytes = size;
    return outcome;
}

bool SimulatedScale::TakePacket(std::uint8_t endpoint, Time now, Packet& packet) {
    if (sim_.faults.unplugged || !configured_ || endpoint != ENDPOINT_IN) return false;
    AdvanceTo(now);
    if (sim_.faults.noAnswer) return false;
    QueueEntry entry;
    if (!PopFront(entry)) return false;
    if (entry.line >= 0) ++sim_.lineDelivered[static_cast<std::size_t>(entry.line)];
    packet = entry.packet;
    if (sim_.faults.shortPacketBytes) {
        const std::uint32_t carried = std::min<std::uint32_t>(*sim_.faults.shortPacketBytes, packet.size);
        std::fill(packet.bytes.begin() + carried, packet.bytes.end(), std::uint8_t{0});
        packet.size = carried;
    }
    return true;
}

std::optional<Time> SimulatedScale::NextEventTime(Time now) const {
    if (sim_.faults.unplugged || sim_.faults.noAnswer) return std::nullopt;
    AdvanceTo(now);
    const auto& change = sim_.nextStateChange;
    const auto& item = sim_.nextItem;
    if (change && item) return std::min(*change, *item);
    if (change) return change;
    return item;
}

void SimulatedScale::ExecuteCommand(const std::uint8_t* data, std::uint32_t size, Time now) {
    if (size == 0) return;
    switch (data[0]) {
        case CMD_READ_WEIGHT:
            // The reply is the next thing the host reads, ahead of any item
            // reports still waiting.
            PushFront(MakeStatusPacket(sim_.state, PlatterCount(), 0), -1);
            break;
        case CMD_SET_LIMITS:
            // A command cut short before its eighth limit is not taken.
            if (size >= 1 + LINE_COUNT) {
                std::copy(data + 1, data + 1 + LINE_COUNT, sim_.limits.begin());
                sim_.limitsReceived = true;
            }
            break;
        case CMD_RESTART: StartCycle(now); break;
        default: break;  // the controller ignores what it does not know
    }
}

// ---------------------------------------------------------------- the cycle

void SimulatedScale::AdvanceTo(Time now) const {
    // A removed scale has no power: nothing happens any more.
    if (sim_.faults.unplugged) return;
    if (now < sim_.advancedTo) return;  // time never runs back
    for (;;) {
        const bool changeDue = sim_.nextStateChange && *sim_.nextStateChange <= now;
        const bool itemDue = sim_.nextItem && *sim_.nextItem <= now;
        if (!changeDue && !itemDue) break;
        // Never both at once: items flow only in the working state, which
        // has no further state change.
        if (changeDue) {
            const Time at = *sim_.nextStateChange;
            sim_.nextStateChange.reset();
            EnterState(static_cast<std::uint8_t>(sim_.state + 1), at);
        } else {
            const Time at = *sim_.nextItem;
            ProduceItem(at);
            ScheduleNextItem(at);
        }
    }
    sim_.advancedTo = now;
}

void SimulatedScale::StartCycle(Time at) const {
    // A restarting controller forgets the reports it had not sent yet.
    FlushQueue();
    EnterState(STATE_WAITING_SYNC, at);
}

void SimulatedScale::EnterState(std::uint8_t state, Time at) const {
    sim_.state = state;
    sim_.nextItem.reset();
    sim_.nextStateChange.reset();
    switch (state) {
        case STATE_WAITING_SYNC: sim_.nextStateChange = at + std::max<Time>(0, options_.syncDuration); break;
        case STATE_TAKING_TARES: sim_.nextStateChange = at + std::max<Time>(0, options_.tareDuration); break;
        default: ScheduleNextItem(at); break;
    }
    // A full queue loses the state report, as the controller's own does.
    static_cast<void>(PushBack(MakeStatusPacket(state, PlatterCount(), 0), -1));
}

void SimulatedScale::ScheduleNextItem(Time after) const {
    const bool flowing = sim_.state == STATE_WORKING && !sim_.paused && options_.itemsPerSecond > 0.0;
    if (flowing) sim_.nextItem = after + DrawInterval();
    else sim_.nextItem.reset();
}

void SimulatedScale::ProduceItem(Time) const {
    const std::uint8_t weight = DrawWeight();
    const int line = LineFor(sim_.limits, weight);
    ++sim_.lineTotals[static_cast<std::size_t>(line)];
    ++sim_.itemsProduced;
    const auto lineBits = static_cast<std::uint8_t>(1u << line);
    if (!PushBack(MakeStatusPacket(STATE_WORKING, weight, lineBits), static_cast<std::int8_t>(line)))
        ++sim_.itemsDropped;
}

int SimulatedScale::LineFor(const std::array<std::uint8_t, LINE_COUNT>& limits, std::uint8_t weight) {
    for (int line = 0; line < LINE_COUNT; ++line)
        if (limits[static_cast<std::size_t>(line)] >= weight) return line;
    return LINE_COUNT - 1;
}

Packet SimulatedScale::MakeStatusPacket(std::uint8_t state, std::uint8_t count, std::uint8_t lineBits) const {
    Packet packet;
    packet.bytes[0] = state;
    packet.bytes[1] = count;
    packet.bytes[3] = lineBits;
    packet.size = STATUS_PACKET_SIZE;
    return packet;
}

std::uint8_t SimulatedScale::PlatterCount() const {
    const unsigned count = options_.zeroCount + (sim_.referenceOn ? options_.referenceCounts : 0u);
    return static_cast<std::uint8_t>(std::min(count, 255u));
}

// ---------------------------------------------------------------- the queue

bool SimulatedScale::PushBack(const Packet& packet, std::int8_t line) const {
    const auto capacity = static_cast<std::uint32_t>(sim_.queue.size());
    if (sim_.queueSize == capacity) return false;
    QueueEntry& slot = sim_.queue[(sim_.queueHead + sim_.queueSize) % capacity];
    slot.packet = packet;
    slot.line = line;
    ++sim_.queueSize;
    return true;
}

void SimulatedScale::PushFront(const Packet& packet, std::int8_t line) const {
    const auto capacity = static_cast<std::uint32_t>(sim_.queue.size());
    if (sim_.queueSize == capacity) {
        // Full: the newest report gives way, as a new item would have.
        const QueueEntry& newest = sim_.queue[(sim_.queueHead + sim_.queueSize - 1) % capacity];
        if (newest.line >= 0) ++sim_.itemsDropped;
        --sim_.queueSize;
    }
    sim_.queueHead = (sim_.queueHead + capacity - 1) % capacity;
    QueueEntry& slot = sim_.queue[sim_.queueHead];
    slot.packet = packet;
    slot.line = line;
    ++sim_.queueSize;
}

bool SimulatedScale::PopFront(QueueEntry& entry) const {
    if (sim_.queueSize == 0) return false;
    entry = sim_.queue[sim_.queueHead];
    sim_.queueHead = (sim_.queueHead + 1) % static_cast<std::uint32_t>(sim_.queue.size());
    --sim_.queueSize;
    return true;
}

void SimulatedScale::FlushQueue() const {
    const auto capacity = static_cast<std::uint32_t>(sim_.queue.size());
    for (std::uint32_t i = 0; i < sim_.queueSize; ++i)
        if (sim_.queue[(sim_.queueHead + i) % capacity].line >= 0) ++sim_.itemsDropped;
    sim_.queueSize = 0;
}

// ---------------------------------------------------------------- chance

// splitmix64: small, fast and the same on every platform.
std::uint64_t SimulatedScale::NextRandom() const {
    std::uint64_t z = (sim_.rng += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimulatedScale::NextUnit() const {
    return static_cast<double>(NextRandom() >> 11) * (1.0 / 9007199254740992.0);  // [0, 1)
}

std::uint8_t SimulatedScale::DrawWeight() const {
    // Sum of two even draws: a triangle over mean +- spread.
    const double offset = NextUnit() + NextUnit() - 1.0;
    const double weight = std::round(options_.weightMean + options_.weightSpread * offset);
    if (!(weight >= 1.0)) return 1;  // also catches NaN
    if (weight >= 255.0) return 255;
    return static_cast<std::uint8_t>(weight);
}

Time SimulatedScale::DrawInterval() const {
    const double mean = 1'000'000.0 / options_.itemsPerSecond;
    const double jitter = std::clamp(options_.itemJitter, 0.0, 1.0);
    const double factor = 1.0 + jitter * (2.0 * NextUnit() - 1.0);
    const double interval = std::round(mean * factor);
    if (!(interval >= 1.0)) return 1;
    // An absurdly slow rate still has to fit the clock.
    if (interval > 1e15) return static_cast<Time>(1e15);
    return static_cast<Time>(interval);
}

// ---------------------------------------------------------------- controls

void SimulatedScale::SetReferenceOn(bool on, Time now) {
    AdvanceTo(now);
    sim_.referenceOn = on;
}

void SimulatedScale::SetPaused(bool paused, Time now) {
    AdvanceTo(now);
    if (sim_.paused == paused) return;
    sim_.paused = paused;
    ScheduleNextItem(sim_.advancedTo);
}

void SimulatedScale::Unplug(Time now) {
    AdvanceTo(now);
    sim_.faults.unplugged = true;
}

void SimulatedScale::PlugIn(Time now) {
    if (!sim_.faults.unplugged) return;
    sim_.faults.unplugged = false;
    // Without power it kept nothing: no configuration, no limits, no reports.
    configured_ = false;
    sim_.limits.fill(LIMIT_NONE);
    sim_.limitsReceived = false;
    sim_.advancedTo = std::max(sim_.advancedTo, now);
    StartCycle(now);
}

void SimulatedScale::SetFaults(const SimulatedScaleFaults& faults, Time now) {
    AdvanceTo(now);
    const bool wasUnplugged = sim_.faults.unplugged;
    sim_.faults = faults;
    sim_.faults.unplugged = faults.unplugged || wasUnplugged;
}

std::string SimulatedScale::Describe(Time now) const {
    std::string text = "Balanza simulada: ";
    if (sim_.faults.unplugged) return text + "desconectada";
    AdvanceTo(now);
    switch (sim_.state) {
        case STATE_WAITING_SYNC: text += "Esperando sincronismo"; break;
        case STATE_TAKING_TARES: text += "Tomando taras"; break;
        default: text += "Trabajando"; break;
    }
    text += ", " + std::to_string(sim_.itemsProduced) + (sim_.itemsProduced == 1 ? " pieza" : " piezas");
    text += sim_.referenceOn ? ", peso patrón puesto" : ", sin peso patrón";
    if (sim_.paused) text += ", en pausa";
    if (sim_.faults.noAnswer) text += ", no responde";
    if (sim_.faults.stall) text += ", escrituras bloqueadas";
    if (sim_.faults.shortPacketBytes)
        text += ", paquetes de " + std::to_string(*sim_.faults.shortPacketBytes) + " bytes";
    return text;
}

}  // namespace sim
