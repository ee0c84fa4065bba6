// The USB driver's interface: the device interface class under which the USB driver registers every
// device it serves: what a device list is made of and what a device path
// is looked up under, on the real system and in the emulated one alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/SystemCalls.h"

namespace platform {

// {325DDF96-938C-11D3-9E34-0080C82727F4}
constexpr GUID DRIVER_INTERFACE_CLASS = {0x325DDF96, 0x938C, 0x11D3, {0x9E, 0x34, 0x00, 0x80, 0xC8, 0x27, 0x27, 0xF4}};

// What the USB driver and its callers agree on: control codes, statuses,
// record sizes and the interface version. The driver access layer (usbio)
// and the emulated driver (sim) both take them from here.
namespace driver {

// Control codes: device type 0x8094, any access, the low two bits the
// transfer method (0 buffered, 1 direct in, 2 direct out).
constexpr std::uint32_t IOCTL_USBIO_GET_DESCRIPTOR = 0x80942006;
constexpr std::uint32_t IOCTL_USBIO_SET_CONFIGURATION = 0x80942024;
constexpr std::uint32_t IOCTL_USBIO_GET_DRIVER_INFO = 0x8094206C;
constexpr std::uint32_t IOCTL_USBIO_BIND_PIPE = 0x80942078;

// The further requests. Those whose purpose this layer does not interpret
// are named after the function number of their code (bits 2 to 13).
constexpr std::uint32_t IOCTL_USBIO_SET_DESCRIPTOR = 0x80942009;  // direct in
constexpr std::uint32_t IOCTL_USBIO_803 = 0x8094200C;
constexpr std::uint32_t IOCTL_USBIO_804 = 0x80942010;
constexpr std::uint32_t IOCTL_USBIO_805 = 0x80942014;
constexpr std::uint32_t IOCTL_USBIO_GET_CONFIGURATION = 0x80942018;
constexpr std::uint32_t IOCTL_USBIO_GET_INTERFACE = 0x8094201C;
constexpr std::uint32_t IOCTL_USBIO_SUBMIT_CONFIGURATION_DESCRIPTOR = 0x80942020;
constexpr std::uint32_t IOCTL_USBIO_80A = 0x80942028;
constexpr std::uint32_t IOCTL_USBIO_80B = 0x8094202C;
constexpr std::uint32_t IOCTL_USBIO_80C = 0x80942032;  // direct out
constexpr std::uint32_t IOCTL_USBIO_80D = 0x80942035;  // direct in
constexpr std::uint32_t IOCTL_USBIO_80F = 0x8094203C;
constexpr std::uint32_t IOCTL_USBIO_810 = 0x80942040;
constexpr std::uint32_t IOCTL_USBIO_814 = 0x80942050;
constexpr std::uint32_t IOCTL_USBIO_815 = 0x80942054;
constexpr std::uint32_t IOCTL_USBIO_816 = 0x80942058;
constexpr std::uint32_t IOCTL_USBIO_817 = 0x8094205C;
constexpr std::uint32_t IOCTL_USBIO_818 = 0x80942060;
constexpr std::uint32_t IOCTL_USBIO_81C = 0x80942070;
// Further requests on a pipe's own handle.
constexpr std::uint32_t IOCTL_USBIO_81F = 0x8094207C;
constexpr std::uint32_t IOCTL_USBIO_820 = 0x80942080;
constexpr std::uint32_t IOCTL_USBIO_821 = 0x80942084;
constexpr std::uint32_t IOCTL_USBIO_823 = 0x8094208C;
constexpr std::uint32_t IOCTL_USBIO_824 = 0x80942090;
constexpr std::uint32_t IOCTL_USBIO_828 = 0x809420A2;  // direct out
constexpr std::uint32_t IOCTL_USBIO_829 = 0x809420A5;  // direct in

// Failure statuses the driver reports (in the last error of a failed call).
constexpr std::uint32_t DRIVER_STALL_PID = 0xE0000004;
constexpr std::uint32_t DRIVER_OUTPUT_BUFFER_TOO_SMALL = 0xE0001002;
constexpr std::uint32_t DRIVER_NOT_CONFIGURED = 0xE0001006;
constexpr std::uint32_t DRIVER_PIPE_ALREADY_BOUND = 0xE0001008;
constexpr std::uint32_t DRIVER_NOT_BOUND = 0xE0001009;
constexpr std::uint32_t DRIVER_DEVICE_REMOVED = 0xE000100A;
constexpr std::uint32_t DRIVER_INVALID_DIRECTION = 0xE0001010;
constexpr std::uint32_t DRIVER_PIPE_NOT_FOUND = 0xE0001013;
constexpr std::uint32_t DRIVER_INTERFACE_NOT_FOUND = 0xE0001016;
constexpr std::uint32_t DRIVER_INVALID_PARAMETER = 0xE0001018;
constexpr std::uint32_t DRIVER_ONE_INTERFACE_ONLY = 0xE000101D;

// The sizes of the records the driver reads; it refuses any other size with
// DRIVER_INVALID_PARAMETER before looking inside.
constexpr std::size_t DRIVER_INFO_SIZE = 12;
constexpr std::size_t DESCRIPTOR_REQUEST_SIZE = 8;
constexpr std::size_t CONFIGURATION_REQUEST_SIZE = 260;
constexpr std::size_t BIND_REQUEST_SIZE = 1;

// The only driver interface version the driver access layer talks to.
constexpr std::uint16_t DRIVER_INTERFACE_VERSION = 0x0141;

}  // namespace driver

}  // namespace platform
