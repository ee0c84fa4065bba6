#include "scale/ScaleLink.h"

#include "platform/DriverInterface.h"

namespace scale {

namespace {

// Every list and every open looks for the driver's devices.
constexpr const platform::GUID* DRIVER_CLASS = &platform::DRIVER_INTERFACE_CLASS;

// How a request on a removed scale ends: with the driver's own status, or,
// when the system refuses it before the driver sees it, with one of these
// system errors. A time-out is never one: a scale with no items is silent.
bool IsRemoval(usbio::UsbStatus status) {
    constexpr usbio::UsbStatus ERROR_NOT_READY = 21;
    constexpr usbio::UsbStatus ERROR_BAD_COMMAND = 22;
    constexpr usbio::UsbStatus ERROR_DEVICE_NOT_CONNECTED = 1167;
    constexpr usbio::UsbStatus ERROR_DEVICE_REMOVED = 1617;
    return status == platform::driver::DRIVER_DEVICE_REMOVED || status == ERROR_NOT_READY ||
           status == ERROR_BAD_COMMAND || status == ERROR_DEVICE_NOT_CONNECTED || status == ERROR_DEVICE_REMOVED;
}

}  // namespace

ScaleLink::ScaleLink(usbio::UsbDevice& device, usbio::UsbPipe& readPipe, usbio::UsbPipe& writePipe,
                     usbio::UsbBuffer& statusBuffer, usbio::UsbBuffer& commandBuffer)
    : device_(device),
      readPipe_(readPipe),
      writePipe_(writePipe),
      statusBuffer_(statusBuffer),
      commandBuffer_(commandBuffer) {}

ScaleLink::~ScaleLink() {
    if (deviceList_ != nullptr) usbio::UsbDevice::DestroyDeviceList(deviceList_);
}

FindResult ScaleLink::FindScale() {
    // A second search starts from a fresh list rather than leaking the first.
    if (deviceList_ != nullptr) usbio::UsbDevice::DestroyDeviceList(deviceList_);
    scaleIndex_ = -1;
    deviceList_ = usbio::UsbDevice::CreateDeviceList(DRIVER_CLASS);
    if (deviceList_ == nullptr) return FindResult::NoList;

    FindResult result = FindResult::NoDevice;
    usbio::UsbDevice candidate;
    for (int index = 0; index < MAX_DEVICE_INDICES; ++index) {
        if (candidate.Open(index, deviceList_, DRIVER_CLASS) != usbio::USB_STATUS_SUCCESS) break;
        std::uint8_t descriptor[usbio::DEVICE_DESCRIPTOR_SIZE] = {};
        const usbio::UsbStatus status = candidate.GetDeviceDescriptor(descriptor);
        candidate.Close();
        const std::uint16_t vendor = platform::GetLe16(&descriptor[8]);
        const std::uint16_t product = platform::GetLe16(&descriptor[10]);
        if (status == usbio::USB_STATUS_SUCCESS && vendor == SCALE_VENDOR_ID && product == SCALE_PRODUCT_ID) {
            scaleIndex_ = index;
            return FindResult::Ok;
        }
        result = FindResult::NotIdentified;
    }
    return result;
}

ConfigureResult ScaleLink::ConfigureScale() {
    if (device_.Open(scaleIndex_, deviceList_, DRIVER_CLASS) != usbio::USB_STATUS_SUCCESS)
        return ConfigureResult::OpenFailed;
    usbio::ConfigurationRequest request;
    request.configurationIndex = 0;
    request.interfaceCount = 1;
    request.interfaces[0].interfaceNumber = 0;
    request.interfaces[0].alternateSetting = 0;
    request.interfaces[0].maximumTransferSize = COMMAND_PACKET_SIZE;
    if (device_.SetConfiguration(request) != usbio::USB_STATUS_SUCCESS) return ConfigureResult::ConfigurationFailed;
    if (readPipe_.Bind(scaleIndex_, READ_ENDPOINT, deviceList_, DRIVER_CLASS) != usbio::USB_STATUS_SUCCESS)
        return ConfigureResult::ReadPipeFailed;
    if (writePipe_.Bind(scaleIndex_, WRITE_ENDPOINT, deviceList_, DRIVER_CLASS) != usbio::USB_STATUS_SUCCESS)
        return ConfigureResult::WritePipeFailed;
    lost_ = false;
    return ConfigureResult::Ok;
}

bool ScaleLink::Exchange(usbio::UsbPipe& pipe, usbio::UsbBuffer& buffer, bool read, std::uint32_t timeoutMs) {
    if (buffer.Outstanding()) {
        // Left over from an exchange whose cancellation did not finish in
        // time: it must end before the buffer can carry anything else.
        static_cast<void>(pipe.CancelTransfer(buffer));
        const usbio::UsbStatus left = pipe.WaitForCompletion(buffer, CANCEL_WAIT_MS);
        lost_ = lost_ || IsRemoval(left);
        if (left == usbio::USB_STATUS_TIMEOUT) return false;
    }
    // A refused start leaves its reason in the buffer for the wait.
    if (read) static_cast<void>(pipe.Read(buffer));
    else static_cast<void>(pipe.Write(buffer));
    usbio::UsbStatus status = pipe.WaitForCompletion(buffer, timeoutMs);
    if (status == usbio::USB_STATUS_TIMEOUT) {
        static_cast<void>(pipe.CancelTransfer(buffer));
        status = pipe.WaitForCompletion(buffer, CANCEL_WAIT_MS);
    }
    lost_ = lost_ || IsRemoval(status);
    return status == usbio::USB_STATUS_SUCCESS;
}

std::optional<std::uint8_t> ScaleLink::ReadWeight() {
    if (commandBuffer_.capacity < COMMAND_PACKET_SIZE || statusBuffer_.capacity < STATUS_PACKET_SIZE)
        return std::nullopt;
    commandBuffer_.requestedBytes = COMMAND_PACKET_SIZE;
    EncodeCommand(commandBuffer_.Data(), CMD_READ_WEIGHT);
    if (!Exchange(writePipe_, commandBuffer_, false, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;
    statusBuffer_.requestedBytes = STATUS_PACKET_SIZE;
    if (!Exchange(readPipe_, statusBuffer_, true, READ_WEIGHT_TIMEOUT_MS)) return std::nullopt;
    if (statusBuffer_.transferredBytes < MIN_WEIGHT_BYTES) return std::nullopt;
    return statusBuffer_.Data()[WEIGHT_BYTE];
}

bool ScaleLink::ReadStatus() {
    if (statusBuffer_.capacity < STATUS_PACKET_SIZE) return false;
    statusBuffer_.requestedBytes = STATUS_PACKET_SIZE;
    if (!Exchange(readPipe_, statusBuffer_, true, READ_STATUS_TIMEOUT_MS)) return false;
    return statusBuffer_.transferredBytes >= MIN_STATUS_BYTES;
}

bool ScaleLink::SendCommand(std::uint8_t command, std::uint32_t timeoutMs) {
    if (commandBuffer_.capacity < COMMAND_PACKET_SIZE) return false;
    commandBuffer_.requestedBytes = COMMAND_PACKET_SIZE;
    EncodeCommand(commandBuffer_.Data(), command);
    return Exchange(writePipe_, commandBuffer_, false, timeoutMs);
}

bool ScaleLink::SendRestart() { return SendCommand(CMD_RESTART, RESTART_TIMEOUT_MS); }

bool ScaleLink::SendLimits(const LimitCounts& counts, std::uint32_t timeoutMs) {
    // Built right before it is sent: test-mode exchanges may have passed
    // through the command buffer meanwhile.
    if (commandBuffer_.capacity < COMMAND_PACKET_SIZE) return false;
    EncodeSetLimits(commandBuffer_.Data(), counts);
    return SendCommand(CMD_SET_LIMITS, timeoutMs);
}

void ScaleLink::Close() {
    readPipe_.Close();
    writePipe_.Close();
    device_.Close();
    if (deviceList_ != nullptr) {
        usbio::UsbDevice::DestroyDeviceList(deviceList_);
        deviceList_ = nullptr;
    }
}

}  // namespace scale
