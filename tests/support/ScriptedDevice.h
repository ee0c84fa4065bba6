// A device model tests script by hand: identity, configuration, packets and when, how writes end, unplugging.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/DeviceModel.h"

namespace sim {

class ScriptedDevice final : public DeviceModel {
public:
    ScriptedDevice(std::uint16_t vendorId = 0x0C70, std::uint16_t productId = 0x0000);

    void SetInterfaceVersion(std::uint16_t version) { version_ = version; }

    // Configuration: the status a set-configuration answers (0 accepts).
    void SetConfigurationStatus(std::uint32_t status) { configurationStatus_ = status; }
    const std::vector<InterfaceSetting>& LastConfiguration() const { return lastConfiguration_; }
    std::uint16_t LastConfigurationIndex() const { return lastConfigurationIndex_; }

    // Packets on endpoint 0x81 from `at` on, in time order (then queue order).
    void QueuePacket(const std::vector<std::uint8_t>& bytes, Time at = 0) {
        in_.insert(std::upper_bound(in_.begin(), in_.end(), at, [](Time t, const Timed& p) { return t < p.at; }),
                   MakePacket(bytes, at));
    }
    // A packet appearing only when the host cancels a read, which it wins the race with.
    void SetPacketOnCancel(std::vector<std::uint8_t> bytes) { onCancel_ = std::move(bytes); }
    std::size_t QueuedPackets() const { return in_.size(); }

    enum class WriteMode { Complete, Fail, Never, Delay };
    void SetWriteMode(WriteMode mode, std::uint32_t status = 0, Time delay = 0) {
        writeMode_ = mode;
        writeStatus_ = status;
        writeDelay_ = delay;
    }
    const std::vector<std::vector<std::uint8_t>>& Writes() const { return writes_; }

    void Unplug() { unplugged_ = true; }

    // DeviceModel
    std::array<std::uint8_t, 18> DeviceDescriptor() const override { return descriptor_; }
    std::uint16_t DriverInterfaceVersion() const override { return version_; }
    std::uint32_t SetConfiguration(std::uint16_t index, const InterfaceSetting* settings,
                                   std::uint16_t count) override {
        lastConfigurationIndex_ = index;
        lastConfiguration_.assign(settings, settings + count);
        configured_ = configured_ || configurationStatus_ == 0;
        return configurationStatus_;
    }
    bool HasEndpoint(std::uint8_t address) const override {
        return configured_ && (address == 0x81 || address == 0x02);
    }
    TransferOutcome Write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t size, Time now) override;
    bool TakePacket(std::uint8_t endpoint, Time now, Packet& packet) override {
        if (endpoint != 0x81 || in_.empty() || in_.front().at > now) return false;
        packet = in_.front().packet;
        in_.pop_front();
        return true;
    }
    std::optional<Time> NextEventTime(Time now) const override {
        return in_.empty() ? std::nullopt : std::optional(std::max(in_.front().at, now));
    }
    void OnCancel(std::uint8_t, Time now) override {
        if (onCancel_) in_.push_front(MakePacket(*onCancel_, now));
        onCancel_.reset();
    }
    bool Unplugged() const override { return unplugged_; }

private:
    struct Timed {
        Time at;
        Packet packet;
    };
    static Timed MakePacket(const std::vector<std::uint8_t>& bytes, Time at);
    std::array<std::uint8_t, 18> descriptor_{};
    std::uint16_t version_ = 0x0141;
    std::uint32_t configurationStatus_ = 0;
    bool configured_ = false;
    std::vector<InterfaceSetting> lastConfiguration_;
    std::uint16_t lastConfigurationIndex_ = 0xFFFF;
    std::deque<Timed> in_;
    std::optional<std::vector<std::uint8_t>> onCancel_;
    WriteMode writeMode_ = WriteMode::Complete;
    std::uint32_t writeStatus_ = 0;
    Time writeDelay_ = 0;
    std::vector<std::vector<std::uint8_t>> writes_;
    bool unplugged_ = false;
};

}  // namespace sim
