// The further requests of devices and pipes in one table: the control code and
// record the driver receives, the output offered, and what the caller holds
// after a success, after a failure and on a closed object.
#include <functional>
#include <numeric>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

template <std::size_t N>
std::array<std::uint8_t, N> Record(std::uint8_t first) {
    std::array<std::uint8_t, N> record{};
    std::iota(record.begin(), record.end(), first);
    return record;
}
Bytes Pattern(std::uint8_t first, std::size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}
Bytes DefaultReply(std::size_t size) { return Pattern(0xA0, size); }  // the emulated driver's

struct Row {
    std::function<UsbStatus()> issue;
    std::uint32_t code;
    Bytes input;          // the record the driver receives
    Bytes reply;          // what the caller holds after a success: the output offered
    bool onData = false;  // a request on caller data: `got` is as much of it as the size says
};
constexpr bool DATA = true;

// Caller values, each filled with a pattern that no reply carries.
struct CallerValues {
    std::array<std::uint8_t, 32> data = Record<32>(0x10);
    std::uint8_t u8 = 0x55;
    std::uint16_t u16 = 0x5555;
    std::uint32_t u32 = 0x55555555;
    PipeRecord4 r4 = Record<4>(0x55);
    DeviceRecord8 r8 = Record<8>(0x55);
    DeviceRecord776 r776 = Record<776>(0x55);
};

class DeviceRequestsTest : public LinkTest {
protected:
    // Issues a row's request on fresh caller values; data requests are offered as many bytes as the reply has.
    UsbStatus Issue(const Row& row) {
        v = {};
        got.clear();
        size = static_cast<std::uint32_t>(row.reply.size());
        const UsbStatus status = row.issue();
        if (row.onData) got.assign(v.data.begin(), v.data.begin() + std::min<std::uint32_t>(size, 32));
        return status;
    }
    // The value or record as the caller holds it once the request has returned (little-endian, as sent).
    template <typename T>
    UsbStatus Got(UsbStatus status, const T& value) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
        got.assign(bytes, bytes + sizeof value);
        return status;
    }

    std::vector<Row> Table() {
        const std::uint8_t descriptor[16] = {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xEE, 0xEE, 0xEE, 7, 7, 7, 7};
        // clang-format off
        return {
            {[this] { return device.SetDescriptor(v.data.data(), size, 0x01020304, 3, 5, 0x0409); },
             0x80942009, {4, 3, 2, 1, 3, 5, 9, 4}, Pattern(0x10, 6), DATA},
            {[this] { return device.GetConfigurationDescriptor(v.data.data(), size, 7); },
             0x80942006, {0, 0, 0, 0, 2, 7, 0, 0}, {9, 2, 32, 0, 1, 1, 0, 0x80, 50}, DATA},
            {[this] { return device.GetStringDescriptor(v.data.data(), size, 0, 0x0409); },
             0x80942006, {0, 0, 0, 0, 3, 0, 9, 4}, {4, 3, 9, 4}, DATA},
            {[this] { return device.DeviceRequest803(0x01020304, 0x0506, 0x0708); },
             0x8094200C, {4, 3, 2, 1, 6, 5, 8, 7}, {}},
            {[this] { return device.DeviceRequest804(2, 1, 0x81); }, 0x80942010, {2, 0, 0, 0, 1, 0, 0x81, 0}, {}},
            {[this] { return Got(device.DeviceRequest805(v.u16, 1, 0x1234), v.u16); },
             0x80942014, {1, 0, 0, 0, 0x34, 0x12}, DefaultReply(2)},
            {[this] { return Got(device.GetConfiguration(v.u8), v.u8); }, 0x80942018, {}, DefaultReply(1)},
            {[this] { return Got(device.GetInterface(v.u8, 0x0102), v.u8); }, 0x8094201C, {2, 1}, DefaultReply(1)},
            // Total length 12 in a buffer of 16: only the 12 bytes go out.
            {[this, descriptor] { return device.SubmitConfigurationDescriptor(descriptor, 16); },
             0x80942020, Bytes(descriptor, descriptor + 12), {}},
            {[this] { return device.DeviceRequest80A(); }, 0x80942028, {}, {}},
            {[this] { return device.DeviceRequest80B(Record<8>(0x30)); }, 0x8094202C, Pattern(0x30, 8), {}},
            {[this] { return device.DeviceRequest80C(v.data.data(), size, Record<18>(0x40)); },
             0x80942032, Pattern(0x40, 18), DefaultReply(20), DATA},
            {[this] { return device.DeviceRequest80D(v.data.data(), size, Record<18>(0x50)); },
             0x80942035, Pattern(0x50, 18), Pattern(0x10, 10), DATA},
            {[this] { return Got(device.DeviceRequest80F(v.r8), v.r8); }, 0x8094203C, {}, DefaultReply(8)},
            {[this] { return device.DeviceRequest810(Record<8>(0x60)); }, 0x80942040, Pattern(0x60, 8), {}},
            {[this] { return Got(device.DeviceRequest814(v.r776), v.r776); }, 0x80942050, {}, DefaultReply(776)},
            {[this] { return device.DeviceRequest815(); }, 0x80942054, {}, {}},
            {[this] { return Got(device.DeviceRequest816(v.u32), v.u32); }, 0x80942058, {}, DefaultReply(4)},
            {[this] { return device.DeviceRequest817(0x12345678); }, 0x8094205C, {0x78, 0x56, 0x34, 0x12}, {}},
            {[this] { return Got(device.DeviceRequest818(v.u32), v.u32); }, 0x80942060, {}, DefaultReply(4)},
            {[this] { return device.DeviceRequest81C(); }, 0x80942070, {}, {}},
            {[this] { return readPipe.PipeRequest81F(); }, 0x8094207C, {}, {}},
            {[this] { return readPipe.PipeRequest820(); }, 0x80942080, {}, {}},
            {[this] { return readPipe.PipeRequest821(); }, 0x80942084, {}, {}},
            {[this] { return Got(readPipe.PipeRequest823(v.r4), v.r4); }, 0x8094208C, {}, DefaultReply(4)},
            {[this] { return readPipe.PipeRequest824({0x0D, 0x0C, 0x0B, 0x0A}); },
             0x80942090, {0x0D, 0x0C, 0x0B, 0x0A}, {}},
            {[this] { return readPipe.PipeRequest828(v.data.data(), size, Record<12>(0x70)); },
             0x809420A2, Pattern(0x70, 12), DefaultReply(16), DATA},
            {[this] { return readPipe.PipeRequest829(v.data.data(), size, Record<12>(0x80)); },
             0x809420A5, Pattern(0x80, 12), Pattern(0x10, 3), DATA},
        };
        // clang-format on
    }

    CallerValues v;
    std::uint32_t size = 0;
    Bytes got;
};

TEST_F(DeviceRequestsTest, EachRequestSendsItsCodeAndRecordAndHandsBackTheReply) {
    for (const Row& row : Table()) {
        SCOPED_TRACE(testing::Message() << std::hex << row.code);
        Driver().ClearRequestLog();
        EXPECT_EQ(Issue(row), USB_STATUS_SUCCESS);
        EXPECT_EQ(got, row.reply);
        ASSERT_EQ(Driver().RequestLog().size(), 1u);
        const sim::ControlRecord& sent = Driver().RequestLog().back();
        EXPECT_EQ(sent.code, row.code);
        EXPECT_EQ(sent.input, row.input);
        EXPECT_EQ(sent.outputSize, row.reply.size());
        // Direct in (method 1): the driver reads the caller's data in place.
        if ((row.code & 3) == 1) {
            EXPECT_EQ(sent.directIn, got);
        }
    }
}

// After a failure the caller holds what was delivered or, for values and records, the cleared reply
// (DeviceRequest818 writes only on success); on a closed object nothing is sent and sizes stay.
TEST_F(DeviceRequestsTest, FailedAndClosedRequestsLeaveTheCallerTheDeliveredOrClearedReply) {
    for (const bool open : {true, false}) {
        for (const Row& row : Table()) {
            for (const Bytes& delivered : {Bytes{}, Bytes{0x12}}) {
                SCOPED_TRACE(testing::Message()
                             << std::hex << row.code << (open ? " open " : " closed ") << delivered.size());
                if (open && row.code == IOCTL_USBIO_GET_DESCRIPTOR) continue;  // the driver's own answers
                Driver().SetControlAnswer(row.code, {0xE0001000, delivered});
                EXPECT_EQ(Issue(row), open ? 0xE0001000u : USB_STATUS_NOT_OPEN);
                Bytes expected(row.reply.size(), 0);
                if (open && !delivered.empty() && !expected.empty()) expected[0] = 0x12;
                if (row.code == IOCTL_USBIO_818) expected.assign(4, 0x55);
                if (row.onData) expected = Pattern(0x10, open ? delivered.size() : row.reply.size());
                if (row.onData && open && (row.code & 3) != 1) expected = delivered;
                EXPECT_EQ(got, expected);
            }
        }
        device.Close();
        readPipe.Close();
        Driver().ClearRequestLog();
    }
    EXPECT_TRUE(Driver().RequestLog().empty());
}

TEST_F(DeviceRequestsTest, AConfigurationDescriptorClaimingMoreThanTheCallerHasIsRefused) {
    // The total length claims 0x0100 bytes, then 13, of the caller's 12: reading on would send what lies behind.
    std::uint8_t descriptor[12] = {9, 2, 0x00, 0x01, 1, 1, 0, 0x80, 50, 1, 2, 3};
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    descriptor[2] = 13;
    descriptor[3] = 0;
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, 3), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device.SubmitConfigurationDescriptor(nullptr, 12), USB_STATUS_INVALID_PARAMETER);
    std::uint32_t size = 32;
    EXPECT_EQ(device.GetStringDescriptor(v.data.data(), size, 9, 0x0409), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u) << "nothing delivered";
    EXPECT_EQ(Driver().RequestLog().back().code, IOCTL_USBIO_GET_DESCRIPTOR) << "only the descriptor went out";
}

}  // namespace
}  // namespace usbio_test
