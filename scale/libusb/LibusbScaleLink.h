// The scale reached through libusb-1.0 instead of the USB driver's access
// layer: the same connect sequence with the same result codes, the same
// packets, time-outs and one-transfer-per-direction rule as ScaleLink. Built
// only on Linux.
//
// Every exchange submits one asynchronous transfer and runs libusb's event
// loop on the calling (window) thread until it ends or its time-out passes;
// a late transfer is cancelled and given CANCEL_WAIT_MS more to end, and its
// final state decides, so a packet that arrives with the cancellation is
// still used. A transfer that has not ended even then stays out of use until
// it does. The two transfers and their buffers are allocated once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "scale/ScaleConnection.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace scale {

class LibusbScaleLink final : public ScaleConnection {
public:
    LibusbScaleLink();
    ~LibusbScaleLink();
    LibusbScaleLink(const LibusbScaleLink&) = delete;
    LibusbScaleLink& operator=(const LibusbScaleLink&) = delete;

    // NoList: libusb could not list the devices; NotIdentified: devices
    // present but none is the scale; NoDevice: no USB device at all.
    [[nodiscard]] FindResult FindScale() override;
    // ConfigurationFailed also when interface 0 could not be taken;
    // ReadPipeFailed and WritePipeFailed when the endpoint is missing.
    [[nodiscard]] ConfigureResult ConfigureScale() override;

    [[nodiscard]] std::optional<std::uint8_t> ReadWeight() override;
    [[nodiscard]] bool ReadStatus() override;
    [[nodiscard]] bool SendRestart() override;
    [[nodiscard]] bool SendLimits(const std::array<std::uint8_t, 8>& counts, std::uint32_t timeoutMs) override;

    // Releases the interface, closes the device and forgets it. Safe to call
    // again.
    void Close() override;
    // A transfer ended, or was refused, because the device is gone.
    bool IsLost() const override { return lost_; }

    const std::uint8_t* StatusPacket() const override { return status_.data(); }
    const std::uint8_t* CommandPacket() const { return command_.data(); }
    // The last failed open was refused for lack of permission on the device
    // node (the udev rule is missing).
    bool AccessRefused() const { return accessRefused_; }
    // Says so, naming the udev rule that grants the access; or says that the
    // scale is in use when another program holds its interface.
    std::string_view ConfigureFailureMessage() const override;

private:
    struct Direction {
        libusb_transfer* transfer = nullptr;
        int ended = 0;             // set by the completion callback
        bool outstanding = false;  // submitted and not yet ended
    };

    [[nodiscard]] bool Exchange(Direction& direction, std::uint32_t minimumBytes, std::uint32_t timeoutMs);
    bool RunEventsUntilEnded(Direction& direction, std::uint32_t milliseconds);
    [[nodiscard]] bool SendCommand(std::uint8_t command, std::uint32_t timeoutMs);
    [[nodiscard]] bool BindEndpoint(Direction& direction, std::uint8_t address, std::uint8_t attributes,
                                    unsigned char* buffer, std::uint32_t length);
    static void OnTransferEnded(libusb_transfer* transfer);

    libusb_context* context_ = nullptr;
    libusb_device* scale_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    bool claimed_ = false;
    bool accessRefused_ = false;
    bool busy_ = false;  // the last configure found the interface held by another program
    bool lost_ = false;
    Direction read_;
    Direction write_;
    std::array<std::uint8_t, 16> command_{};
    std::array<std::uint8_t, 8> status_{};
};

}  // namespace scale
