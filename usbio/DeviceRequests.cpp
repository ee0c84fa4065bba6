// The driver's further requests on an open device: descriptors set and
// fetched, features, status, configuration and interface queries, and the
// requests the program itself never makes but the layer offers. Each builds
// its fixed-size little-endian record, cleared first, and goes through the
// device's one synchronous request path.
#include "platform/LittleEndian.h"
#include "usbio/StatusText.h"
#include "usbio/UsbDevice.h"

namespace usbio {

using platform::GetLe16;
using platform::GetLe32;
using platform::PutLe16;
using platform::PutLe32;

std::array<std::uint8_t, FEATURE_REQUEST_SIZE> EncodeFeatureRequest(std::uint32_t recipient, std::uint16_t selector,
                                                                    std::uint16_t index) {
    std::array<std::uint8_t, FEATURE_REQUEST_SIZE> record{};
    PutLe32(&record[0], recipient);
    PutLe16(&record[4], selector);
    PutLe16(&record[6], index);
    return record;
}

std::array<std::uint8_t, RECIPIENT_INDEX_REQUEST_SIZE> EncodeRecipientIndexRequest(std::uint32_t recipient,
                                                                                   std::uint16_t index) {
    std::array<std::uint8_t, RECIPIENT_INDEX_REQUEST_SIZE> record{};
    PutLe32(&record[0], recipient);
    PutLe16(&record[4], index);
    return record;
}

namespace {

template <std::size_t N>
std::uint32_t SizeOf(const std::array<std::uint8_t, N>&) {
    return static_cast<std::uint32_t>(N);
}

}  // namespace

UsbStatus UsbDevice::SetDescriptor(const void* buffer, std::uint32_t& size, std::uint32_t recipient, std::uint8_t type,
                                   std::uint8_t index, std::uint16_t languageId) {
    const auto request = EncodeDescriptorRequest(recipient, type, index, languageId);
    // Direct in: the driver only reads the second buffer.
    return IoControl(IOCTL_USBIO_SET_DESCRIPTOR, request.data(), SizeOf(request), const_cast<void*>(buffer), size,
                     &size);
}

UsbStatus UsbDevice::GetConfigurationDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index) {
    return GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_CONFIGURATION, index, 0);
}

UsbStatus UsbDevice::GetStringDescriptor(void* buffer, std::uint32_t& size, std::uint8_t index,
                                         std::uint16_t languageId) {
    return GetDescriptor(buffer, size, 0, DESCRIPTOR_TYPE_STRING, index, languageId);
}

UsbStatus UsbDevice::DeviceRequest803(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index) {
    const auto request = EncodeFeatureRequest(recipient, selector, index);
    return IoControl(IOCTL_USBIO_803, request.data(), SizeOf(request), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest804(std::uint32_t recipient, std::uint16_t selector, std::uint16_t index) {
    const auto request = EncodeFeatureRequest(recipient, selector, index);
    return IoControl(IOCTL_USBIO_804, request.data(), SizeOf(request), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest805(std::uint16_t& value, std::uint32_t recipient, std::uint16_t index) {
    const auto request = EncodeRecipientIndexRequest(recipient, index);
    std::uint8_t reply[2] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_805, request.data(), SizeOf(request), reply, sizeof reply);
    value = GetLe16(reply);
    return status;
}

UsbStatus UsbDevice::GetConfiguration(std::uint8_t& value) {
    std::uint8_t reply = 0;
    const UsbStatus status = IoControl(IOCTL_USBIO_GET_CONFIGURATION, nullptr, 0, &reply, sizeof reply);
    value = reply;
    return status;
}

UsbStatus UsbDevice::GetInterface(std::uint8_t& value, std::uint16_t interfaceNumber) {
    std::uint8_t request[INTERFACE_REQUEST_SIZE] = {};
    PutLe16(request, interfaceNumber);
    std::uint8_t reply = 0;
    const UsbStatus status = IoControl(IOCTL_USBIO_GET_INTERFACE, request, sizeof request, &reply, sizeof reply);
    value = reply;
    return status;
}

UsbStatus UsbDevice::SubmitConfigurationDescriptor(const void* descriptor, std::uint32_t size) {
    // The descriptor's own total-length field says how much goes out; a
    // field claiming more than the caller has would send whatever lies
    // behind the caller's memory.
    if (descriptor == nullptr || size < 4) return USB_STATUS_INVALID_PARAMETER;
    const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
    const std::uint32_t totalLength = GetLe16(bytes + 2);
    if (totalLength > size) return USB_STATUS_INVALID_PARAMETER;
    return IoControl(IOCTL_USBIO_SUBMIT_CONFIGURATION_DESCRIPTOR, descriptor, totalLength, nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest80A() { return IoControl(IOCTL_USBIO_80A, nullptr, 0, nullptr, 0); }

UsbStatus UsbDevice::DeviceRequest80B(const DeviceRecord8& record) {
    return IoControl(IOCTL_USBIO_80B, record.data(), SizeOf(record), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest80C(void* buffer, std::uint32_t& size, const DeviceRecord18& record) {
    return IoControl(IOCTL_USBIO_80C, record.data(), SizeOf(record), buffer, size, &size);
}

UsbStatus UsbDevice::DeviceRequest80D(const void* buffer, std::uint32_t& size, const DeviceRecord18& record) {
    // Direct in: the driver only reads the second buffer.
    return IoControl(IOCTL_USBIO_80D, record.data(), SizeOf(record), const_cast<void*>(buffer), size, &size);
}

UsbStatus UsbDevice::DeviceRequest80F(DeviceRecord8& record) {
    record.fill(0);
    return IoControl(IOCTL_USBIO_80F, nullptr, 0, record.data(), SizeOf(record));
}

UsbStatus UsbDevice::DeviceRequest810(const DeviceRecord8& record) {
    return IoControl(IOCTL_USBIO_810, record.data(), SizeOf(record), nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest814(DeviceRecord776& record) {
    record.fill(0);
    return IoControl(IOCTL_USBIO_814, nullptr, 0, record.data(), SizeOf(record));
}

UsbStatus UsbDevice::DeviceRequest815() { return IoControl(IOCTL_USBIO_815, nullptr, 0, nullptr, 0); }

UsbStatus UsbDevice::DeviceRequest816(std::uint32_t& value) {
    std::uint8_t reply[4] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_816, nullptr, 0, reply, sizeof reply);
    value = GetLe32(reply);
    return status;
}

UsbStatus UsbDevice::DeviceRequest817(std::uint32_t value) {
    std::uint8_t request[4] = {};
    PutLe32(request, value);
    return IoControl(IOCTL_USBIO_817, request, sizeof request, nullptr, 0);
}

UsbStatus UsbDevice::DeviceRequest818(std::uint32_t& value) {
    std::uint8_t reply[4] = {};
    const UsbStatus status = IoControl(IOCTL_USBIO_818, nullptr, 0, reply, sizeof reply);
    if (status == USB_STATUS_SUCCESS) value = GetLe32(reply);
    return status;
}

UsbStatus UsbDevice::DeviceRequest81C() { return IoControl(IOCTL_USBIO_81C, nullptr, 0, nullptr, 0); }

char* UsbDevice::StatusText(char* text, std::size_t size, UsbStatus status) {
    return usbio::StatusText(text, size, status);
}

}  // namespace usbio
