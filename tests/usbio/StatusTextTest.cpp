// Status texts: every row in its order, the format, and cutting the text to
// the caller's area.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "usbio/StatusText.h"
#include "usbio/UsbDevice.h"

namespace usbio_test {
namespace {

using namespace usbio;

// The 65 rows as the driver's documentation gives them, in their order.
// clang-format off
const std::pair<UsbStatus, const char*> EXPECTED_ROWS[] = {
    {0x00000000, "No error."}, {0xE0000001, "HC Error: Wrong CRC."}, {0xE0000002, "HC Error: Wrong bitstuffing."},
    {0xE0000003, "HC Error: Data toggle mismatch."}, {0xE0000004, "HC Error: stall PID."},
    {0xE0000005, "HC Error: Device not responding."}, {0xE0000006, "HC Error: PID check failed."},
    {0xE0000007, "HC Error: Unexpected PID."}, {0xE0000008, "HC Error: Data Overrun."},
    {0xE0000009, "HC Error: Data Underrun."}, {0xE000000A, "HC Error: Reserved1."},
    {0xE000000B, "HC Error: Reserved2."}, {0xE000000C, "HC Error: Buffer Overrun."},
    {0xE000000D, "HC Error: Buffer Underrun."}, {0xE000000F, "HC Error: Not accessed."},
    {0xE0000010, "HC Error: FIFO error."}, {0xE0000030, "USBD Error: Endpoint halted."},
    {0xE0000100, "USBD Error: No System Memory."}, {0xE0000200, "USBD Error: Invalid URB function."},
    {0xE0000300, "USBD Error: Invalid parameter."}, {0xE0000400, "USBD Error: Error: BUSY."},
    {0xE0000500, "USBD Error: Request failed."}, {0xE0000600, "USBD Error: Invalid pipe handle."},
    {0xE0000700, "USBD Error: No bandwidth available."}, {0xE0000800, "USBD Error: Internal HC error."},
    {0xE0000900, "USBD Error: Error: short transfer."}, {0xE0000A00, "USBD Error: Bad start frame."},
    {0xE0000B00, "USBD Error: Isochronous request failed."}, {0xE0000C00, "USBD Error: Frame control owned."},
    {0xE0000D00, "USBD Error: Frame control not owned."}, {0xE0010000, "USBD Error: cancelled."},
    {0xE0020000, "USBD Error: cancelling."}, {0xE0001000, "Operation failed."}, {0xE0001001, "Input buffer too small."},
    {0xE0001002, "Output buffer too small."}, {0xE0001003, "Out of memory."},
    {0xE0001004, "There are pending requests. Use Abort first."}, {0xE0001005, "USB device is already configured."},
    {0xE0001006, "USB device is not configured."}, {0xE0001007, "There are open pipes. Use Unbind/Close first."},
    {0xE0001008, "Pipe is already bound."}, {0xE0001009, "Handle is not bound to a pipe."},
    {0xE000100A, "Device is removed."}, {0xE000100B, "Control code is not supported."},
    {0xE000100C, "Request timeout interval has expired."}, {0xE000100D, "Invalid recipient."},
    {0xE000100E, "Invalid pipe type. Use IOCTRL for control pipe."}, {0xE000100F, "Invalid I/O control code."},
    {0xE0001010, "Invalid direction of I/O operation."},
    {0xE0001011, "Too much ISO packets. Adjust registry parameter."}, {0xE0001012, "Request pool empty."},
    {0xE0001013, "Pipe not found."}, {0xE0001014, "Invalid ISO packet. Offset + Length > Buffer Size!"},
    {0xE0001015, "Out of address space."}, {0xE0001016, "Interface not found."},
    {0xE0001017, "Invalid device state (stopped or power down)."}, {0xE0001018, "Invalid parameter."},
    {0xE000101A, "Power state not allowed. Set to D0 first."},
    {0xE000101B, "Requests cancelled while device goes power down."}, {0xE000101C, "API Version does not match."},
    {0xE000101D, "Set configuration failed. Configure one interface only."}, {0xE0001100, "Device not found."},
    {0xE0001102, "Device not open."}, {0xE0001104, "No such device instance."},
    {0xE0001105, "An invalid parameter was passed."},
};
// clang-format on

TEST(StatusTextTest, EveryRowInItsOrderWithItsTextAndEveryOtherCodeTheSystemsText) {
    ASSERT_EQ(StatusTextTable.size(), std::size(EXPECTED_ROWS));
    for (std::size_t i = 0; i < std::size(EXPECTED_ROWS); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(StatusTextTable[i].code, EXPECTED_ROWS[i].first);
        EXPECT_STREQ(StatusMessage(EXPECTED_ROWS[i].first), EXPECTED_ROWS[i].second);
    }
    // System codes and the gaps in the driver's numbering.
    for (const UsbStatus code : {5u, 997u, 0xE000000Eu, 0xE0001019u, 0xE0001101u})
        EXPECT_STREQ(StatusMessage(code), "Windows system error code.");
    char text[128];
    EXPECT_STREQ(UsbDevice::StatusText(text, sizeof text, 0xE0001013), "Error code 0xE0001013: Pipe not found.");
    EXPECT_STREQ(UsbDevice::StatusText(text, sizeof text, 5), "Error code 0x00000005: Windows system error code.");
}

TEST(StatusTextTest, ASmallAreaGetsTheTextCutAndTerminatedAndSizeZeroNothing) {
    char area[64];
    std::memset(area, 'x', sizeof area);
    EXPECT_EQ(StatusText(area, 16, 0xE000100C), area);
    EXPECT_STREQ(area, "Error code 0xE0");
    EXPECT_EQ(area[16], 'x') << "nothing written past the area";
    EXPECT_STREQ(StatusText(area, 33, 0), "Error code 0x00000000: No error.") << "just fits";
    area[0] = 'x';
    EXPECT_EQ(StatusText(area, 0, 0xE000100C), area);
    EXPECT_EQ(area[0], 'x');
    EXPECT_EQ(StatusText(nullptr, 64, 0xE000100C), nullptr);
}

}  // namespace
}  // namespace usbio_test
