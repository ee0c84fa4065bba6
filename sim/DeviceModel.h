// A USB device as the emulated driver sees it: its identity, its
// configuration, its endpoints and the packets it produces in time. The
// simulated scale and the scripted test devices are device models.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/DriverInterface.h"

namespace sim {

// The driver's control codes, statuses and record sizes.
using namespace platform::driver;

// Microseconds on the emulated kernel's clock (virtual in tests).
using Time = std::int64_t;

constexpr std::size_t MAX_PACKET = 64;

struct Packet {
    std::array<std::uint8_t, MAX_PACKET> bytes{};
    std::uint32_t size = 0;
};

struct InterfaceSetting {
    std::uint16_t interfaceNumber = 0;
    std::uint16_t alternateSetting = 0;
    std::uint32_t maximumTransferSize = 0;
};

// What becomes of a transfer the host submitted.
struct TransferOutcome {
    enum class Kind { Done, Failed, Pending } kind = Kind::Done;
    std::uint32_t status = 0;        // driver status when Failed
    std::uint32_t bytes = 0;         // bytes moved when Done
    std::optional<Time> completeAt;  // Pending: when it completes by itself (nullopt = never)
};

class DeviceModel {
public:
    virtual ~DeviceModel() = default;

    // The 18-byte USB device descriptor (vendor id in bytes 8-9, product id
    // in bytes 10-11, little-endian).
    virtual std::array<std::uint8_t, 18> DeviceDescriptor() const = 0;
    // The interface version the driver reports for this device (0x0141 for
    // the driver the program is built against).
    virtual std::uint16_t DriverInterfaceVersion() const { return DRIVER_INTERFACE_VERSION; }
    // A set-configuration request; returns 0 or a driver status.
    [[nodiscard]] virtual std::uint32_t SetConfiguration(std::uint16_t configurationIndex,
                                                         const InterfaceSetting* settings, std::uint16_t count) = 0;
    // Whether the current configuration has this endpoint.
    virtual bool HasEndpoint(std::uint8_t address) const = 0;

    // Host-to-device data on an OUT endpoint.
    [[nodiscard]] virtual TransferOutcome Write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t size,
                                                Time now) = 0;
    // Device-to-host: takes the packet waiting on an IN endpoint at `now`,
    // if there is one.
    [[nodiscard]] virtual bool TakePacket(std::uint8_t endpoint, Time now, Packet& packet) = 0;
    // The earliest time after `now` at which a packet may become available
    // by itself, or nullopt when nothing will happen without the host.
    virtual std::optional<Time> NextEventTime(Time now) const = 0;

    // The host is cancelling a transfer on this endpoint. A packet that the
    // model makes available now still completes the transfer (it won the
    // race with the cancellation).
    virtual void OnCancel(std::uint8_t endpoint, Time now) {
        (void)endpoint;
        (void)now;
    }

    // An unplugged device fails every request with "Device is removed.".
    virtual bool Unplugged() const { return false; }
};

}  // namespace sim
