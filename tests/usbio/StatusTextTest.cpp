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

TEST(StatusTextTest, TheDocumentedExamples) {
    EXPECT_EQ(TextOf(0xE000100C), "Error code 0xE000100C: Request timeout interval has expired.");
    EXPECT_EQ(TextOf(0), "Error code 0x00000000: No error.");
    EXPECT_EQ(TextOf(5), "Error code 0x00000005: Windows system error code.");
    EXPECT_EQ(TextOf(2), "Error code 0x00000002: Windows system error code.");
}

TEST(StatusTextTest, TheLayersOwnCodesHaveTheirTexts) {
    EXPECT_EQ(TextOf(USB_STATUS_NO_MEMORY), "Error code 0xE0000100: USBD Error: No System Memory.");
    EXPECT_EQ(TextOf(USB_STATUS_VERSION_MISMATCH), "Error code 0xE000101C: API Version does not match.");
    EXPECT_EQ(TextOf(USB_STATUS_DEVICE_NOT_FOUND), "Error code 0xE0001100: Device not found.");
    EXPECT_EQ(TextOf(USB_STATUS_NOT_OPEN), "Error code 0xE0001102: Device not open.");
    EXPECT_EQ(TextOf(USB_STATUS_NO_SUCH_INSTANCE), "Error code 0xE0001104: No such device instance.");
    EXPECT_EQ(TextOf(USB_STATUS_INVALID_PARAMETER), "Error code 0xE0001105: An invalid parameter was passed.");
}

TEST(StatusTextTest, DriverStatusesAcrossTheTable) {
    EXPECT_EQ(TextOf(0xE0000001), "Error code 0xE0000001: HC Error: Wrong CRC.");
    EXPECT_EQ(TextOf(0xE0000400), "Error code 0xE0000400: USBD Error: Error: BUSY.");
    EXPECT_EQ(TextOf(0xE0020000), "Error code 0xE0020000: USBD Error: cancelling.");
    EXPECT_EQ(TextOf(0xE0001014), "Error code 0xE0001014: Invalid ISO packet. Offset + Length > Buffer Size!");
    EXPECT_EQ(TextOf(0xE000101D), "Error code 0xE000101D: Set configuration failed. Configure one interface only.");
    // Gaps in the driver's numbering are not in the table.
    EXPECT_EQ(TextOf(0xE000000E), "Error code 0xE000000E: Windows system error code.");
    EXPECT_EQ(TextOf(0xE0001019), "Error code 0xE0001019: Windows system error code.");
}

TEST(StatusTextTest, TheTableHas65DistinctCodesInItsOrder) {
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
        EXPECT_EQ(StatusTextTable[i].code, expected[i]) << "row " << i;
        texts.insert(StatusTextTable[i].text);
    }
    EXPECT_EQ(texts.size(), 65u) << "every row has a text of its own";
}

TEST(StatusTextTest, EveryRowFormatsWithItsOwnText) {
    for (const StatusTextEntry& row : StatusTextTable) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(row.code));
        EXPECT_EQ(TextOf(row.code), std::string("Error code 0x") + code + ": " + row.text);
        EXPECT_STRNE(row.text, SYSTEM_ERROR_TEXT);
    }
}

TEST(StatusTextTest, ASmallAreaGetsTheTextCutAndTerminated) {
    char area[64];
    std::memset(area, 'x', sizeof area);
    EXPECT_EQ(StatusText(area, 16, 0xE000100C), area);
    EXPECT_STREQ(area, "Error code 0xE0");
    EXPECT_EQ(area[16], 'x') << "nothing written past the area";

    // Exactly one character short of the whole text.
    const std::string full = TextOf(0);
    std::memset(area, 'x', sizeof area);
    StatusText(area, full.size(), 0);
    EXPECT_EQ(std::string(area), full.substr(0, full.size() - 1));
    StatusText(area, full.size() + 1, 0);
    EXPECT_EQ(std::string(area), full);

    std::memset(area, 'x', sizeof area);
    StatusText(area, 1, 0);
    EXPECT_EQ(area[0], '\0');
    EXPECT_EQ(area[1], 'x');
}

TEST(StatusTextTest, NoAreaOrASizeOfZeroIsLeftUntouched) {
    char area[8];
    std::memset(area, 'x', sizeof area);
    EXPECT_EQ(StatusText(area, 0, 0xE000100C), area);
    EXPECT_EQ(std::string(area, sizeof area), std::string(8, 'x'));
    EXPECT_EQ(StatusText(nullptr, 64, 0xE000100C), nullptr);
    EXPECT_EQ(UsbDevice::StatusText(nullptr, 0, 0), nullptr);
}

}  // namespace
}  // namespace usbio_test
