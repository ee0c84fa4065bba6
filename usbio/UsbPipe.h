// A device object bound to one endpoint, moving data with asynchronous
// reads and writes and a timed wait. A pipe opens its own handle on the
// device; the driver keeps the binding for that handle.
#pragma once

#include <array>
#include <cstdint>

#include "usbio/UsbBuffer.h"
#include "usbio/UsbDevice.h"

namespace usbio {

// Records the caller fills (or receives) for the driver's own purposes.
using PipeRecord4 = std::array<std::uint8_t, 4>;
using PipeRecord12 = std::array<std::uint8_t, 12>;

class UsbPipe : public UsbDevice {
public:
    UsbPipe() = default;
    ~UsbPipe() override;

    // Opens the pipe like Open and binds it to the endpoint (bit 7 set for
    // device-to-host). A failed bind leaves the pipe open.
    [[nodiscard]] UsbStatus Bind(int index, std::uint8_t endpointAddress, platform::HDEVINFO list,
                                 const platform::GUID* interfaceClass);

    // Start one transfer of the buffer's requestedBytes. True when it
    // completed at once or is now outstanding; false when it failed at once.
    // The outcome is in the buffer. A buffer carries one transfer at a time:
    // while its transfer is outstanding a new one is refused with
    // USB_STATUS_BUFFER_BUSY in the buffer, and the outstanding one is left
    // as it is (a wait still waits for it).
    [[nodiscard]] bool Read(UsbBuffer& buffer);
    [[nodiscard]] bool Write(UsbBuffer& buffer);

    // Waits at most `milliseconds` (platform::INFINITE: no limit) for the
    // buffer's transfer: 0 when it completed, USB_STATUS_TIMEOUT when it is
    // still outstanding (nothing is cancelled), else the failure.
    [[nodiscard]] UsbStatus WaitForCompletion(UsbBuffer& buffer, std::uint32_t milliseconds);

    // Asks the system to cancel the buffer's outstanding transfer only; the
    // caller then waits for it to finish. False when nothing was cancelled.
    [[nodiscard]] bool CancelTransfer(UsbBuffer& buffer);

    // One transfer between the pipe and caller memory, waited for at most
    // `milliseconds`. `size`: bytes to move on entry, bytes moved on return.
    // On a time-out only this transfer is cancelled, and the call returns
    // once it has finished: USB_STATUS_TIMEOUT, or success when the
    // transfer completed in the race with the cancellation.
    [[nodiscard]] UsbStatus ReadSync(void* memory, std::uint32_t& size, std::uint32_t milliseconds);
    [[nodiscard]] UsbStatus WriteSync(const void* memory, std::uint32_t& size, std::uint32_t milliseconds);

    // The further requests on the pipe's handle; each returns the status of
    // IoControl. `size` works as in GetDescriptor.
    [[nodiscard]] UsbStatus PipeRequest81F();
    [[nodiscard]] UsbStatus PipeRequest820();
    [[nodiscard]] UsbStatus PipeRequest821();
    // `record` is cleared first.
    [[nodiscard]] UsbStatus PipeRequest823(PipeRecord4& record);
    [[nodiscard]] UsbStatus PipeRequest824(const PipeRecord4& record);
    [[nodiscard]] UsbStatus PipeRequest828(void* buffer, std::uint32_t& size, const PipeRecord12& record);
    [[nodiscard]] UsbStatus PipeRequest829(const void* buffer, std::uint32_t& size, const PipeRecord12& record);

private:
    [[nodiscard]] bool Start(UsbBuffer& buffer, bool read);
    [[nodiscard]] UsbStatus TransferSync(void* memory, std::uint32_t& size, std::uint32_t milliseconds, bool read);
};

}  // namespace usbio
