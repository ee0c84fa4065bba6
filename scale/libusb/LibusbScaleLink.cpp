#include "scale/libusb/LibusbScaleLink.h"

#include <libusb.h>

#include <chrono>
#include <cstring>

#include "scale/Protocol.h"

namespace scale {
namespace {

constexpr int SCALE_INTERFACE = 0;
constexpr int SCALE_ALTERNATE_SETTING = 0;

// The endpoint of interface 0, alternate setting 0, with this address, or
// null.
const libusb_endpoint_descriptor* FindEndpoint(const libusb_interface_descriptor& setting, std::uint8_t address) {
    for (int i = 0; i < setting.bNumEndpoints; ++i)
        if (setting.endpoint[i].bEndpointAddress == address) return &setting.endpoint[i];
    return nullptr;
}

}  // namespace

LibusbScaleLink::LibusbScaleLink() {
    read_.transfer = libusb_alloc_transfer(0);
    write_.transfer = libusb_alloc_transfer(0);
}

LibusbScaleLink::~LibusbScaleLink() {
    Close();
    // A transfer that never ended still belongs to libusb: freeing it would
    // leave libusb a dangling record, so it is left alone.
    if (!read_.outstanding) libusb_free_transfer(read_.transfer);
    if (!write_.outstanding) libusb_free_transfer(write_.transfer);
    if (context_ != nullptr && !read_.outstanding && !write_.outstanding) libusb_exit(context_);
}

FindResult LibusbScaleLink::FindScale() {
    if (scale_ != nullptr) {
        libusb_unref_device(scale_);
        scale_ = nullptr;
    }
    // Looking for a scale that went away: a context of its own lists the
    // devices as they are now, whatever hot-plug events the old one missed.
    if (lost_ && context_ != nullptr && handle_ == nullptr && !read_.outstanding && !write_.outstanding) {
        libusb_exit(context_);
        context_ = nullptr;
    }
    if (context_ == nullptr && libusb_init(&context_) != LIBUSB_SUCCESS) {
        context_ = nullptr;
        return FindResult::NoList;
    }
    if (read_.transfer == nullptr || write_.transfer == nullptr) return FindResult::NoList;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) return FindResult::NoList;

    // Only the maker's devices are candidates, as only they are on the
    // Windows driver's list: root hubs, keyboards and the like are always
    // there, and an unplugged scale must read as no device at all.
    FindResult result = FindResult::NoDevice;
    for (ssize_t i = 0; i < count && i < MAX_DEVICE_INDICES; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
        if (descriptor.idVendor != SCALE_VENDOR_ID) continue;
        result = FindResult::NotIdentified;
        if (descriptor.idProduct == SCALE_PRODUCT_ID) {
            scale_ = libusb_ref_device(list[i]);
            result = FindResult::Ok;
            break;
        }
    }
    libusb_free_device_list(list, 1);
    return result;
}

ConfigureResult LibusbScaleLink::ConfigureScale() {
    accessRefused_ = false;
    busy_ = false;
    if (scale_ == nullptr || handle_ != nullptr) return ConfigureResult::OpenFailed;
    const int opened = libusb_open(scale_, &handle_);
    if (opened != LIBUSB_SUCCESS) {
        handle_ = nullptr;
        accessRefused_ = opened == LIBUSB_ERROR_ACCESS;
        return ConfigureResult::OpenFailed;
    }

    // The first configuration, chosen only when it is not already active:
    // Linux refuses a set-configuration while another program or a kernel
    // driver holds an interface, even when nothing would change.
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_config_descriptor(scale_, 0, &config) != LIBUSB_SUCCESS) return ConfigureResult::ConfigurationFailed;
    ConfigureResult result = ConfigureResult::ConfigurationFailed;
    int active = -1;
    // Busy: another program (another copy of this one) holds the interface.
    const auto done = [this](int error) {
        busy_ = busy_ || error == LIBUSB_ERROR_BUSY;
        return error == LIBUSB_SUCCESS;
    };
    const bool configured =
        libusb_get_configuration(handle_, &active) == LIBUSB_SUCCESS &&
        (active == config->bConfigurationValue || done(libusb_set_configuration(handle_, config->bConfigurationValue)));
    if (configured && config->bNumInterfaces > SCALE_INTERFACE) {
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        claimed_ = done(libusb_claim_interface(handle_, SCALE_INTERFACE));
        const libusb_interface& interface = config->interface[SCALE_INTERFACE];
        // Claiming selects alternate setting 0; it is asked for explicitly
        // only where there is another one to leave.
        const bool settingChosen =
            claimed_ && interface.num_altsetting > SCALE_ALTERNATE_SETTING &&
            (interface.num_altsetting == 1 ||
             libusb_set_interface_alt_setting(handle_, SCALE_INTERFACE, SCALE_ALTERNATE_SETTING) == LIBUSB_SUCCESS);
        if (settingChosen) {
            const libusb_interface_descriptor& setting = interface.altsetting[SCALE_ALTERNATE_SETTING];
            const libusb_endpoint_descriptor* in = FindEndpoint(setting, READ_ENDPOINT);
            const libusb_endpoint_descriptor* out = FindEndpoint(setting, WRITE_ENDPOINT);
            if (in == nullptr ||
                !BindEndpoint(read_, READ_ENDPOINT, in->bmAttributes, status_.data(), STATUS_PACKET_SIZE))
                result = ConfigureResult::ReadPipeFailed;
            else if (out == nullptr ||
                     !BindEndpoint(write_, WRITE_ENDPOINT, out->bmAttributes, command_.data(), COMMAND_PACKET_SIZE))
                result = ConfigureResult::WritePipeFailed;
            else result = ConfigureResult::Ok;
            lost_ = lost_ && result != ConfigureResult::Ok;
        }
    }
    libusb_free_config_descriptor(config);
    return result;
}

bool LibusbScaleLink::BindEndpoint(Direction& direction, std::uint8_t address, std::uint8_t attributes,
                                   unsigned char* buffer, std::uint32_t length) {
    const std::uint8_t type = attributes & LIBUSB_TRANSFER_TYPE_MASK;
    if (type != LIBUSB_TRANSFER_TYPE_BULK && type != LIBUSB_TRANSFER_TYPE_INTERRUPT) return false;
    libusb_transfer* transfer = direction.transfer;
    if (type == LIBUSB_TRANSFER_TYPE_BULK)
        libusb_fill_bulk_transfer(transfer, handle_, address, buffer, static_cast<int>(length), &OnTransferEnded,
                                  &direction, 0);
    else
        libusb_fill_interrupt_transfer(transfer, handle_, address, buffer, static_cast<int>(length), &OnTransferEnded,
                                       &direction, 0);
    return true;
}

void LibusbScaleLink::OnTransferEnded(libusb_transfer* transfer) {
    auto* direction = static_cast<Direction*>(transfer->user_data);
    direction->outstanding = false;
    direction->ended = 1;
}

bool LibusbScaleLink::RunEventsUntilEnded(Direction& direction, std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (direction.ended == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        timeval wait{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
        const int handled = libusb_handle_events_timeout_completed(context_, &wait, &direction.ended);
        if (handled < 0 && handled != LIBUSB_ERROR_INTERRUPTED) break;
    }
    return direction.ended != 0;
}

bool LibusbScaleLink::Exchange(Direction& direction, std::uint32_t minimumBytes, std::uint32_t timeoutMs) {
    if (handle_ == nullptr || direction.transfer->dev_handle != handle_) return false;
    if (direction.outstanding) {
        // Left over from an exchange whose cancellation had not ended in
        // time: it must end before its buffer carries anything else.
        libusb_cancel_transfer(direction.transfer);
        if (!RunEventsUntilEnded(direction, CANCEL_WAIT_MS)) return false;
    }
    direction.ended = 0;
    const int submitted = libusb_submit_transfer(direction.transfer);
    lost_ = lost_ || submitted == LIBUSB_ERROR_NO_DEVICE;
    if (submitted != LIBUSB_SUCCESS) return false;
    direction.outstanding = true;
    if (!RunEventsUntilEnded(direction, timeoutMs)) {
        libusb_cancel_transfer(direction.transfer);
        if (!RunEventsUntilEnded(direction, CANCEL_WAIT_MS)) return false;
    }
    // A cancelled transfer whose packet had already arrived ends as
    // cancelled, with its bytes in the buffer: those bytes are the answer.
    const libusb_transfer_status status = direction.transfer->status;
    lost_ = lost_ || status == LIBUSB_TRANSFER_NO_DEVICE;
    const bool delivered = status == LIBUSB_TRANSFER_COMPLETED || status == LIBUSB_TRANSFER_CANCELLED;
    return delivered && static_cast<std::uint32_t>(direction.transfer->actual_length) >= minimumBytes;
}

std::optional<std::uint8_t> LibusbScaleLink::ReadWeight() {
    command_[0] = CMD_READ_WEIGHT;
    if (!Exchange(write_, COMMAND_PACKET_SIZE, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;
    if (!Exchange(read_, MIN_WEIGHT_BYTES, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;
    return status_[1];
}

bool LibusbScaleLink::ReadStatus() {
    // A short packet would leave the previous packet's bytes in place and
    // count its item a second time.
    return Exchange(read_, MIN_STATUS_BYTES, READ_STATUS_TIMEOUT_MS);
}

bool LibusbScaleLink::SendCommand(std::uint8_t command, std::uint32_t timeoutMs) {
    command_[0] = command;
    return Exchange(write_, COMMAND_PACKET_SIZE, timeoutMs);
}

bool LibusbScaleLink::SendRestart() { return SendCommand(CMD_RESTART, RESTART_TIMEOUT_MS); }

bool LibusbScaleLink::SendLimits(const std::array<std::uint8_t, 8>& counts, std::uint32_t timeoutMs) {
    std::memcpy(command_.data() + 1, counts.data(), counts.size());
    return SendCommand(CMD_SET_LIMITS, timeoutMs);
}

std::string_view LibusbScaleLink::ConfigureFailureMessage() const {
    if (busy_)
        return "No se pudo configurar el dispositivo: la balanza está en uso por otro programa (¿otra copia de "
               "Quelmar abierta?). Ciérrelo y vuelva a abrir Quelmar.";
    if (!accessRefused_) return {};
    return "No se pudo abrir el dispositivo: el sistema no da permiso de acceso a la balanza USB. "
           "Instale la regla udev 60-quelmar.rules (la instala el paquete quelmar; sin él, "
           "packaging/udev/, ver docs/linux-usb.md) y vuelva a conectarla.";
}

void LibusbScaleLink::Close() {
    if (handle_ != nullptr) {
        for (Direction* direction : {&read_, &write_}) {
            if (!direction->outstanding) continue;
            libusb_cancel_transfer(direction->transfer);
            RunEventsUntilEnded(*direction, CANCEL_WAIT_MS);
        }
        if (claimed_) libusb_release_interface(handle_, SCALE_INTERFACE);
        libusb_close(handle_);
        handle_ = nullptr;
        claimed_ = false;
    }
    if (scale_ != nullptr) {
        libusb_unref_device(scale_);
        scale_ = nullptr;
    }
}

}  // namespace scale
