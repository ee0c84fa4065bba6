// A device object bound to one endpoint, moving data with asynchronous
// reads and writes and a timed wait. A pipe opens its own handle on the
// device; the driver keeps the binding for that handle.
#pragma once

#include <cstdint>

#include "usbio/UsbBuffer.h"
#include "usbio/UsbDevice.h"

namespace usbio {

class UsbPipe : public UsbDevice {
public:
    UsbPipe() = default;
    ~UsbPipe() override;

    // Opens the pipe like Open and binds it to the endpoint (bit 7 set for
    // device-to-host). A failed bind leaves the pipe open.
    UsbStatus Bind(int index, std::uint8_t endpointAddress, platform::HDEVINFO list,
                   const platform::GUID* interfaceClass);

    // Start one transfer of the buffer's requestedBytes. True when it
    // completed at once or is now outstanding; false when it failed at once.
    // The outcome is in the buffer. A buffer carries one transfer at a time:
    // while its transfer is outstanding a new one is refused and the
    // outstanding one is left as it is.
    bool Read(UsbBuffer& buffer);
    bool Write(UsbBuffer& buffer);

    // Waits at most `milliseconds` (platform::INFINITE: no limit) for the
    // buffer's transfer: 0 when it completed, USB_STATUS_TIMEOUT when it is
    // still outstanding (nothing is cancelled), else the failure.
    UsbStatus WaitForCompletion(UsbBuffer& buffer, std::uint32_t milliseconds);

    // Asks the system to cancel the buffer's outstanding transfer only; the
    // caller then waits for it to finish. False when nothing was cancelled.
    bool CancelTransfer(UsbBuffer& buffer);

private:
    bool Start(UsbBuffer& buffer, bool read);
};

}  // namespace usbio
