// What the window and the scale operations use of the link to the scale:
// the connect sequence, the four exchanges and taking the link down. The
// link over the USB driver (ScaleLink) and the link over libusb on Linux
// (scale/libusb) both give it, with the results, ids and time-outs below.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace scale {

// What both links share: how the scale is recognised and reached, and how
// long each exchange may take.
constexpr std::uint16_t SCALE_VENDOR_ID = 0x0C70;
constexpr std::uint16_t SCALE_PRODUCT_ID = 0x0000;
constexpr std::uint8_t READ_ENDPOINT = 0x81;
constexpr std::uint8_t WRITE_ENDPOINT = 0x02;
constexpr int MAX_DEVICE_INDICES = 127;  // indices 0 to 126 are examined

constexpr std::uint32_t READ_WEIGHT_TIMEOUT_MS = 200;  // each of the write and the read
constexpr std::uint32_t READ_STATUS_TIMEOUT_MS = 100;
constexpr std::uint32_t RESTART_TIMEOUT_MS = 100;
constexpr std::uint32_t LIMITS_AFTER_SAVE_TIMEOUT_MS = 200;
constexpr std::uint32_t LIMITS_AFTER_LOAD_TIMEOUT_MS = 300;
// How long a cancelled transfer is given to finish before the link counts it
// as failed. Kept a small fraction of the exchanges' own time-outs: the
// window is blocked for the whole wait. A transfer still outstanding then
// keeps its buffer until it ends; the next exchange on that buffer waits
// for it first, with the same bound.
constexpr std::uint32_t CANCEL_WAIT_MS = 50;

// The results of the connect sequence, with their long-standing numbers.
// Every switch over them lists each value and has no default, so that a new
// one is a compile error wherever it would otherwise be misreported.
enum class FindResult : std::uint8_t {
    Ok = 0,
    NoList = 1,         // the device list cannot be created
    NotIdentified = 2,  // devices were examined, none of them is the scale
    NoDevice = 3,       // not even the first device could be opened
};
enum class ConfigureResult : std::uint8_t {
    Ok = 0,  // opened, configured, both pipes bound
    OpenFailed = 1,
    ConfigurationFailed = 2,
    ReadPipeFailed = 3,   // endpoint 0x81
    WritePipeFailed = 4,  // endpoint 0x02
};

class ScaleConnection {
public:
    virtual ~ScaleConnection() = default;

    [[nodiscard]] virtual FindResult FindScale() = 0;
    // Only after FindScale gave Ok.
    [[nodiscard]] virtual ConfigureResult ConfigureScale() = 0;

    // CMD_READ_WEIGHT and its reply: the raw count, or nothing when the scale
    // did not answer.
    [[nodiscard]] virtual std::optional<std::uint8_t> ReadWeight() = 0;
    // One status packet within 100 ms, left where StatusPacket() shows it.
    [[nodiscard]] virtual bool ReadStatus() = 0;
    // CMD_RESTART; false when it could not be sent.
    [[nodiscard]] virtual bool SendRestart() = 0;
    // CMD_SET_LIMITS with the eight limit counts, line 1 first.
    [[nodiscard]] virtual bool SendLimits(const std::array<std::uint8_t, 8>& counts, std::uint32_t timeoutMs) = 0;

    // Takes the link down. Safe to call again.
    virtual void Close() = 0;

    // The last packet from the scale (8 bytes).
    virtual const std::uint8_t* StatusPacket() const = 0;

    // After a failed exchange: whether the scale is gone (its device was
    // removed) rather than silent, which a scale with no items is. Stays
    // true, through Close, until a ConfigureScale succeeds.
    virtual bool IsLost() const { return false; }

    // When the last ConfigureScale failed for a reason the operator can fix
    // (no permission, the scale in use by another program), the whole
    // message that says so; empty otherwise.
    virtual std::string_view ConfigureFailureMessage() const { return {}; }
};

}  // namespace scale
