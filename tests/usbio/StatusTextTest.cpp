// Status texts: the table in its order, the format, and cutting the text to
// the caller's area.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "usbio/StatusText.h"
#include "usbio/UsbDevice.h"

namespace usbio_test {
namespace {

using namespace usbio;

std::string TextOf(UsbStatus status) {
    char text[128];
    return UsbDevice::StatusText(text, sizeof text, status);
}

TEST(StatusTextTest, CodesInAndOutsideTheTable) {
    const std::pair<UsbStatus, const char*> cases[] = {
        {0xE000100C, "Error code 0xE000100C: Request timeout interval has expired."},
        {0, "Error code 0x00000000: No error."},
        {5, "Error code 0x00000005: Windows system error code."},
        {USB_STATUS_NO_MEMORY, "Error code 0xE0000100: USBD Error: No System Memory."},
        {USB_STATUS_VERSION_MISMATCH, "Error code 0xE000101C: API Version does not match."},
        {USB_STATUS_NO_SUCH_INSTANCE, "Error code 0xE0001104: No such device instance."},
        {0xE0000001, "Error code 0xE0000001: HC Error: Wrong CRC."},
        {0xE0001014, "Error code 0xE0001014: Invalid ISO packet. Offset + Length > Buffer Size!"},
        // Gaps in the driver's numbering are not in the table.
        {0xE000000E, "Error code 0xE000000E: Windows system error code."},
        {0xE0001019, "Error code 0xE0001019: Windows system error code."},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(TextOf(code), text);
}

TEST(StatusTextTest, TheTableHas65DistinctRowsInItsOrderEachFormattedWithItsText) {
    const std::array<UsbStatus, 65> expected = {
        0x00000000, 0xE0000001, 0xE0000002, 0xE0000003, 0xE0000004, 0xE0000005, 0xE0000006, 0xE0000007,
        0xE0000008, 0xE0000009, 0xE000000A, 0xE000000B, 0xE000000C, 0xE000000D, 0xE000000F, 0xE0000010,
        0xE0000030, 0xE0000100, 0xE0000200, 0xE0000300, 0xE0000400, 0xE0000500, 0xE0000600, 0xE0000700,
        0xE0000800, 0xE0000900, 0xE0000A00, 0xE0000B00, 0xE0000C00, 0xE0000D00, 0xE0010000, 0xE0020000,
        0xE0001000, 0xE0001001, 0xE0001002, 0xE0001003, 0xE0001004, 0xE0001005, 0xE0001006, 0xE0001007,
        0xE0001008, 0xE0001009, 0xE000100A, 0xE000100B, 0xE000100C, 0xE000100D, 0xE000100E, 0xE000100F,
        0xE0001010, 0xE0001011, 0xE0001012, 0xE0001013, 0xE0001014, 0xE0001015, 0xE0001016, 0xE0001017,
        0xE0001018, 0xE000101A, 0xE000101B, 0xE000101C, 0xE000101D, 0xE0001100, 0xE0001102, 0xE0001104,
        0xE0001105};
    std::set<std::string> texts;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const StatusTextEntry& row = StatusTextTable[i];
        EXPECT_EQ(row.code, expected[i]) << "row " << i;
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(row.code));
        EXPECT_EQ(TextOf(row.code), std::string("Error code 0x") + code + ": " + row.text);
        texts.insert(row.text);
    }
    EXPECT_EQ(texts.size(), 65u) << "every row has a text of its own";
    EXPECT_EQ(texts.count(SYSTEM_ERROR_TEXT), 0u);
}

TEST(StatusTextTest, ASmallAreaGetsTheTextCutAndTerminatedAndSizeZeroNothing) {
    char area[64];
    std::memset(area, 'x', sizeof area);
    EXPECT_EQ(StatusText(area, 16, 0xE000100C), area);
    EXPECT_STREQ(area, "Error code 0xE0");
    EXPECT_EQ(area[16], 'x') << "nothing written past the area";

    const std::string full = TextOf(0);
    StatusText(area, full.size(), 0);
    EXPECT_EQ(std::string(area), full.substr(0, full.size() - 1));
    StatusText(area, full.size() + 1, 0);
    EXPECT_EQ(std::string(area), full);

    std::memset(area, 'x', sizeof area);
    StatusText(area, 1, 0);
    EXPECT_EQ(area[0], '\0');
    EXPECT_EQ(area[1], 'x');
    area[0] = 'x';
    EXPECT_EQ(StatusText(area, 0, 0xE000100C), area);
    EXPECT_EQ(std::string(area, 8), std::string(8, 'x'));
    EXPECT_EQ(StatusText(nullptr, 64, 0xE000100C), nullptr);
}

}  // namespace
}  // namespace usbio_test
