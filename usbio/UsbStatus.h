// Status values of the driver access layer. 0 is success; the layer's own
// codes are below; the driver's failure statuses (0xE0000001 to 0xE0020000)
// and the system's error codes reach the caller unchanged.
#pragma once

#include <cstdint>

namespace usbio {

using UsbStatus = std::uint32_t;

constexpr UsbStatus USB_STATUS_SUCCESS = 0x00000000;
constexpr UsbStatus USB_STATUS_NO_MEMORY = 0xE0000100;
constexpr UsbStatus USB_STATUS_TIMEOUT = 0xE000100C;
constexpr UsbStatus USB_STATUS_VERSION_MISMATCH = 0xE000101C;
constexpr UsbStatus USB_STATUS_DEVICE_NOT_FOUND = 0xE0001100;
constexpr UsbStatus USB_STATUS_NOT_OPEN = 0xE0001102;
constexpr UsbStatus USB_STATUS_NO_SUCH_INSTANCE = 0xE0001104;
constexpr UsbStatus USB_STATUS_INVALID_PARAMETER = 0xE0001105;

// The system's "the transfer is still outstanding" value, kept in a
// buffer's completionStatus while its transfer runs.
constexpr UsbStatus USB_STATUS_PENDING = 997;

}  // namespace usbio
