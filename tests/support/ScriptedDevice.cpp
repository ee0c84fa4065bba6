#include "tests/support/ScriptedDevice.h"

#include <algorithm>
#include <cstring>

#include "platform/LittleEndian.h"

namespace sim {

ScriptedDevice::ScriptedDevice(std::uint16_t vendorId, std::uint16_t productId) {
    descriptor_ = {18, 1, 0x10, 0x01, 0, 0, 0, 16, 0, 0, 0, 0, 0x00, 0x01, 1, 2, 0, 1};
    platform::PutLe16(&descriptor_[8], vendorId);
    platform::PutLe16(&descriptor_[10], productId);
}

ScriptedDevice::Timed ScriptedDevice::MakePacket(const std::vector<std::uint8_t>& bytes, Time at) {
    Timed timed{at, {}};
    timed.packet.size = static_cast<std::uint32_t>(std::min(bytes.size(), MAX_PACKET));
    // An empty vector's data() may be null, which memcpy must not be given.
    if (timed.packet.size > 0) std::memcpy(timed.packet.bytes.data(), bytes.data(), timed.packet.size);
    return timed;
}

std::uint32_t ScriptedDevice::SetConfiguration(std::uint16_t configurationIndex, const InterfaceSetting* settings,
                                               std::uint16_t count) {
    lastConfigurationIndex_ = configurationIndex;
    lastConfiguration_.assign(settings, settings + count);
    if (configurationStatus_ == 0) configured_ = true;
    return configurationStatus_;
}

bool ScriptedDevice::HasEndpoint(std::uint8_t address) const {
    return configured_ && (address == 0x81 || address == 0x02) && refused_.count(address) == 0;
}

void ScriptedDevice::QueuePacket(std::vector<std::uint8_t> bytes, Time at) {
    // Keep the queue in time order; packets due at the same time keep the
    // order they were queued in.
    auto it = std::upper_bound(in_.begin(), in_.end(), at, [](Time t, const Timed& p) { return t < p.at; });
    in_.insert(it, MakePacket(bytes, at));
}

void ScriptedDevice::SetWriteMode(WriteMode mode, std::uint32_t status, Time delay) {
    writeMode_ = mode;
    writeStatus_ = status;
    writeDelay_ = delay;
}

TransferOutcome ScriptedDevice::Write(std::uint8_t, const std::uint8_t* data, std::uint32_t size, Time now) {
    writes_.emplace_back(data, data + size);
    TransferOutcome outcome;
    switch (writeMode_) {
        case WriteMode::Complete: outcome.bytes = size; break;
        case WriteMode::Fail:
            outcome.kind = TransferOutcome::Kind::Failed;
            outcome.status = writeStatus_;
            break;
        case WriteMode::Never: outcome.kind = TransferOutcome::Kind::Pending; break;
        case WriteMode::Delay:
            outcome.kind = TransferOutcome::Kind::Pending;
            outcome.bytes = size;
            outcome.completeAt = now + writeDelay_;
            break;
    }
    return outcome;
}

bool ScriptedDevice::TakePacket(std::uint8_t endpoint, Time now, Packet& packet) {
    if (endpoint != 0x81 || in_.empty() || in_.front().at > now) return false;
    packet = in_.front().packet;
    in_.pop_front();
    return true;
}

std::optional<Time> ScriptedDevice::NextEventTime(Time now) const {
    if (in_.empty()) return std::nullopt;
    return std::max(in_.front().at, now);
}

void ScriptedDevice::OnCancel(std::uint8_t, Time now) {
    if (!onCancel_) return;
    in_.push_front(MakePacket(*onCancel_, now));
    onCancel_.reset();
}

}  // namespace sim
