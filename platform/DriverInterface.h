// The device interface class under which the USB driver registers every
// device it serves: what a device list is made of and what a device path
// is looked up under, on the real system and in the emulated one alike.
#pragma once

#include "platform/SystemCalls.h"

namespace platform {

// {325DDF96-938C-11D3-9E34-0080C82727F4}
constexpr GUID DRIVER_INTERFACE_CLASS = {0x325DDF96, 0x938C, 0x11D3, {0x9E, 0x34, 0x00, 0x80, 0xC8, 0x27, 0x27, 0xF4}};

}  // namespace platform
