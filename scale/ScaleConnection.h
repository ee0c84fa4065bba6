// What the window and the scale operations use of the link to the scale:
// the connect sequence, the four exchanges and taking the link down. The
// link over the USB driver (ScaleLink) and the link over libusb on Linux
// (scale/libusb) both give it, with the same result codes and time-outs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace scale {

class ScaleConnection {
public:
    virtual ~ScaleConnection() = default;

    // Result codes 0 to 3 (FIND_*) and 0 to 4 (CONFIGURE_*).
    virtual std::uint8_t FindScale() = 0;
    virtual std::uint8_t ConfigureScale() = 0;

    // CMD_READ_WEIGHT and its reply: the raw count, or nothing when the scale
    // did not answer.
    virtual std::optional<std::uint8_t> ReadWeight() = 0;
    // One status packet within 100 ms, left where StatusPacket() shows it.
    virtual bool ReadStatus() = 0;
    // CMD_RESTART; false when it could not be sent.
    virtual bool SendRestart() = 0;
    // CMD_SET_LIMITS with the eight limit counts, line 1 first.
    virtual bool SendLimits(const std::array<std::uint8_t, 8>& counts, std::uint32_t timeoutMs) = 0;

    // Takes the link down. Safe to call again.
    virtual void Close() = 0;

    // The last packet from the scale (8 bytes).
    virtual const std::uint8_t* StatusPacket() const = 0;

    // When the last ConfigureScale could not open the device for a reason
    // the operator can fix, the whole message that says how; empty otherwise.
    virtual std::string_view OpenFailureMessage() const { return {}; }
};

}  // namespace scale
