// The scale reached through the USB driver's access layer: how it is found
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

class ScaleLink final : public ScaleConnection {
public:
    ScaleLink(usbio::UsbDevice& device, usbio::UsbPipe& readPipe, usbio::UsbPipe& writePipe,
              usbio::UsbBuffer& statusBuffer, usbio::UsbBuffer& commandBuffer);
    // Releases the device list if no exit did: the window may also end by its
    // close box, which leaves the link to the objects' destruction.
    ~ScaleLink();
    ScaleLink(const ScaleLink&) = delete;
    ScaleLink& operator=(const ScaleLink&) = delete;

    [[nodiscard]] FindResult FindScale() override;
    [[nodiscard]] ConfigureResult ConfigureScale() override;

    // CMD_READ_WEIGHT and its reply: the raw count, or nothing when the scale
    // did not answer.
    [[nodiscard]] std::optional<std::uint8_t> ReadWeight() override;
    // One status packet within 100 ms, left in the status buffer.
    [[nodiscard]] bool ReadStatus() override;
    // CMD_RESTART; false when it could not be sent.
    [[nodiscard]] bool SendRestart() override;
    // CMD_SET_LIMITS with the eight limit counts, line 1 first.
    [[nodiscard]] bool SendLimits(const LimitCounts& counts, std::uint32_t timeoutMs) override;

    // Takes the link down: read pipe, write pipe, device, then the device
    // list. Safe to call again.
    void Close() override;
    bool IsLost() const override { return lost_; }

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
    [[nodiscard]] bool Exchange(usbio::UsbPipe& pipe, usbio::UsbBuffer& buffer, bool read, std::uint32_t timeoutMs);
    [[nodiscard]] bool SendCommand(std::uint8_t command, std::uint32_t timeoutMs);

    usbio::UsbDevice& device_;
    usbio::UsbPipe& readPipe_;
    usbio::UsbPipe& writePipe_;
    usbio::UsbBuffer& statusBuffer_;
    usbio::UsbBuffer& commandBuffer_;
    platform::HDEVINFO deviceList_ = nullptr;
    int scaleIndex_ = -1;
    bool lost_ = false;
};

}  // namespace scale
