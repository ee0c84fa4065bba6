// A device model for measuring: it has the scale's identity and endpoints,
// takes every write at once, and hands out status packets always, never, or
// a fixed time after the last one, without allocating. What it costs is the
// floor under every figure the benchmarks report, so it does as little as a
// device can.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sim/DeviceModel.h"

namespace bench {

class ReadyDevice final : public sim::DeviceModel {
public:
    enum class Mode { Always, Never, AfterDelay };

    explicit ReadyDevice(Mode mode, sim::Time delay = 0) : mode_(mode), delay_(delay) {}

    void SetMode(Mode mode) { mode_ = mode; }

    std::array<std::uint8_t, 18> DeviceDescriptor() const override {
        std::array<std::uint8_t, 18> d{18, 1, 0x10, 0x01, 0, 0, 0, 8, 0x70, 0x0C, 0x00, 0x00, 0, 1, 0, 0, 0, 1};
        return d;
    }
    std::uint32_t SetConfiguration(std::uint16_t, const sim::InterfaceSetting*, std::uint16_t) override { return 0; }
    bool HasEndpoint(std::uint8_t address) const override { return address == 0x81 || address == 0x02; }
    sim::TransferOutcome Write(std::uint8_t, const std::uint8_t*, std::uint32_t size, sim::Time) override {
        return sim::TransferOutcome{sim::TransferOutcome::Kind::Done, 0, size, std::nullopt};
    }
    bool TakePacket(std::uint8_t endpoint, sim::Time now, sim::Packet& packet) override {
        if (endpoint != 0x81) return false;
        switch (mode_) {
            case Mode::Never: return false;
            case Mode::AfterDelay:
                if (now < nextAt_) return false;
                nextAt_ = now + delay_;
                break;
            case Mode::Always: break;
        }
        // A working-state item report, each on the next line in turn: the
        // work-mode tick formats a line's texts and the totals every time.
        packet.size = 8;
        packet.bytes[0] = 2;
        packet.bytes[1] = 95;
        packet.bytes[2] = 0;
        packet.bytes[3] = static_cast<std::uint8_t>(1u << (taken_++ % 8));
        return true;
    }
    std::optional<sim::Time> NextEventTime(sim::Time now) const override {
        if (mode_ == Mode::AfterDelay && nextAt_ > now) return nextAt_;
        return std::nullopt;
    }

private:
    Mode mode_;
    sim::Time delay_;
    sim::Time nextAt_ = 0;
    std::uint32_t taken_ = 0;
};

}  // namespace bench
