// Everything the program knows about reaching the scale: how it is found
// among the driver's devices, how it is configured and its two endpoints
// opened, and the exchanges built on the two packet formats.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "scale/Protocol.h"
#include "scale/ScaleConnection.h"
#include "usbio/UsbBuffer.h"
#include "usbio/UsbDevice.h"
#include "usbio/UsbPipe.h"

namespace scale {

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

// Result codes of the connect sequence.
constexpr std::uint8_t FIND_OK = 0;
constexpr std::uint8_t FIND_NO_LIST = 1;
constexpr std::uint8_t FIND_NOT_IDENTIFIED = 2;
constexpr std::uint8_t FIND_NO_DEVICE = 3;
constexpr std::uint8_t CONFIGURE_OK = 0;
constexpr std::uint8_t CONFIGURE_OPEN_FAILED = 1;
constexpr std::uint8_t CONFIGURE_CONFIGURATION_FAILED = 2;
constexpr std::uint8_t CONFIGURE_READ_PIPE_FAILED = 3;
constexpr std::uint8_t CONFIGURE_WRITE_PIPE_FAILED = 4;

class ScaleLink final : public ScaleConnection {
public:
    ScaleLink(usbio::UsbDevice& device, usbio::UsbPipe& readPipe, usbio::UsbPipe& writePipe,
              usbio::UsbBuffer& statusBuffer, usbio::UsbBuffer& commandBuffer);
    // Releases the device list if no exit did: the window may also end by its
    // close box, which leaves the link to the objects' destruction.
    ~ScaleLink();
    ScaleLink(const ScaleLink&) = delete;
    ScaleLink& operator=(const ScaleLink&) = delete;

    std::uint8_t FindScale() override;
    std::uint8_t ConfigureScale() override;

    // CMD_READ_WEIGHT and its reply: the raw count, or nothing when the scale
    // did not answer.
    std::optional<std::uint8_t> ReadWeight() override;
    // One status packet within 100 ms, left in the status buffer.
    bool ReadStatus() override;
    // CMD_RESTART; false when it could not be sent.
    bool SendRestart() override;
    // CMD_SET_LIMITS with the eight limit counts, line 1 first.
    bool SendLimits(const LimitCounts& counts, std::uint32_t timeoutMs) override;

    // Takes the link down: read pipe, write pipe, device, then the device
    // list. Safe to call again.
    void Close() override;

    // The last packet from the scale, as it lies in the status buffer.
    const std::uint8_t* StatusPacket() const override { return statusBuffer_.Data(); }
    const std::uint8_t* CommandPacket() const { return commandBuffer_.Data(); }
    int ScaleIndex() const { return scaleIndex_; }
    platform::HDEVINFO DeviceList() const { return deviceList_; }

private:
    // One transfer submitted and waited for. A transfer still outstanding at
    // the time-out is cancelled and waited for; its final result decides, so
    // a packet that won the race with the cancellation is used, and no
    // transfer is ever left outstanding between exchanges.
    bool Exchange(usbio::UsbPipe& pipe, usbio::UsbBuffer& buffer, bool read, std::uint32_t timeoutMs);
    bool SendCommand(std::uint8_t command, std::uint32_t timeoutMs);

    usbio::UsbDevice& device_;
    usbio::UsbPipe& readPipe_;
    usbio::UsbPipe& writePipe_;
    usbio::UsbBuffer& statusBuffer_;
    usbio::UsbBuffer& commandBuffer_;
    platform::HDEVINFO deviceList_ = nullptr;
    int scaleIndex_ = -1;
};

}  // namespace scale
