// The further requests of devices and pipes: for each, the control code and
// the exact input record the driver receives, the output it is offered, and
// what reaches the caller on success, after a failure and on a closed object.
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;
using Bytes = std::vector<std::uint8_t>;

// The emulated driver's default reply: 0xA0, 0xA1, ...
Bytes DefaultReply(std::size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0xA0});
    return bytes;
}

template <std::size_t N>
Bytes ToBytes(const std::array<std::uint8_t, N>& record) {
    return Bytes(record.begin(), record.end());
}

template <std::size_t N>
std::array<std::uint8_t, N> Pattern(std::uint8_t first) {
    std::array<std::uint8_t, N> record{};
    std::iota(record.begin(), record.end(), first);
    return record;
}

struct RequestCase {
    std::string name;
    std::uint32_t code;
    Bytes input;               // the record the driver must receive
    std::uint32_t outputSize;  // the output it must be offered
    std::function<UsbStatus()> issue;
    std::function<void()> checkReply;
};

class DeviceRequestsTest : public UsbioTest {
protected:
    void SetUp() override {
        Attach();
        OpenLink(device, readPipe, writePipe);
        Driver().ClearRequestLog();
        Driver().ClearControlLog();
    }

    Bytes DataBytes(std::size_t count) const { return Bytes(data.begin(), data.begin() + count); }
    // For direct-in requests the driver reads the caller's data in place.
    void SentFromData(std::size_t count) {
        EXPECT_EQ(Driver().RequestLog().back().directIn, DataBytes(count));
        EXPECT_EQ(data, Pattern<32>(0x10)) << "the driver only reads it";
    }

    std::vector<RequestCase> Table() {
        const auto none = [] {};
        const auto sized = [this](std::uint32_t n, auto call) {
            return [this, n, call] {
                size = n;
                return call();
            };
        };
        return {
            {"SetDescriptor", 0x80942009, {4, 3, 2, 1, 3, 5, 9, 4}, 6,
             sized(6, [this] { return device.SetDescriptor(data.data(), size, 0x01020304, 3, 5, 0x0409); }),
             [this] { EXPECT_EQ(size, 6u); SentFromData(6); }},
            {"GetConfigurationDescriptor", 0x80942006, {0, 0, 0, 0, 2, 7, 0, 0}, 32,
             sized(32, [this] { return device.GetConfigurationDescriptor(data.data(), size, 7); }),
             [this] { EXPECT_EQ(size, 32u); EXPECT_EQ(data[1], 2); EXPECT_EQ(data[2], 32); }},
            {"GetStringDescriptor", 0x80942006, {0, 0, 0, 0, 3, 0, 9, 4}, 32,
             sized(32, [this] { return device.GetStringDescriptor(data.data(), size, 0, 0x0409); }),
             [this] { EXPECT_EQ(size, 4u); EXPECT_EQ(DataBytes(4), (Bytes{4, 3, 9, 4})); }},
            {"DeviceRequest803", 0x8094200C, {4, 3, 2, 1, 6, 5, 8, 7}, 0,
             [this] { return device.DeviceRequest803(0x01020304, 0x0506, 0x0708); }, none},
            {"DeviceRequest804", 0x80942010, {2, 0, 0, 0, 1, 0, 0x81, 0}, 0,
             [this] { return device.DeviceRequest804(2, 1, 0x81); }, none},
            {"DeviceRequest805", 0x80942014, {1, 0, 0, 0, 0x34, 0x12}, 2,
             [this] { return device.DeviceRequest805(value16, 1, 0x1234); }, [this] { EXPECT_EQ(value16, 0xA1A0); }},
            {"GetConfiguration", 0x80942018, {}, 1, [this] { return device.GetConfiguration(value8); },
             [this] { EXPECT_EQ(value8, 0xA0); }},
            {"GetInterface", 0x8094201C, {2, 1}, 1, [this] { return device.GetInterface(value8, 0x0102); },
             [this] { EXPECT_EQ(value8, 0xA0); }},
            // Total length 12 in a buffer of 16: only the 12 bytes go out.
            {"SubmitConfigurationDescriptor", 0x80942020, {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xEE, 0xEE, 0xEE}, 0,
             [this] {
                 const std::uint8_t descriptor[16] = {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xEE, 0xEE, 0xEE, 7, 7, 7, 7};
                 return device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor);
             },
             none},
            {"DeviceRequest80A", 0x80942028, {}, 0, [this] { return device.DeviceRequest80A(); }, none},
            {"DeviceRequest80B", 0x8094202C, ToBytes(Pattern<8>(0x30)), 0,
             [this] { return device.DeviceRequest80B(Pattern<8>(0x30)); }, none},
            {"DeviceRequest80C", 0x80942032, ToBytes(Pattern<18>(0x40)), 20,
             sized(20, [this] { return device.DeviceRequest80C(data.data(), size, Pattern<18>(0x40)); }),
             [this] {
                 EXPECT_EQ(size, 20u);
                 EXPECT_EQ(DataBytes(20), DefaultReply(20));
                 EXPECT_EQ(data[20], 0x24) << "nothing past the size";
             }},
            {"DeviceRequest80D", 0x80942035, ToBytes(Pattern<18>(0x50)), 10,
             sized(10, [this] { return device.DeviceRequest80D(data.data(), size, Pattern<18>(0x50)); }),
             [this] { EXPECT_EQ(size, 10u); SentFromData(10); }},
            {"DeviceRequest80F", 0x8094203C, {}, 8, [this] { return device.DeviceRequest80F(record8); },
             [this] { EXPECT_EQ(ToBytes(record8), DefaultReply(8)); }},
            {"DeviceRequest810", 0x80942040, ToBytes(Pattern<8>(0x60)), 0,
             [this] { return device.DeviceRequest810(Pattern<8>(0x60)); }, none},
            {"DeviceRequest814", 0x80942050, {}, 776, [this] { return device.DeviceRequest814(record776); },
             [this] { EXPECT_EQ(ToBytes(record776), DefaultReply(776)); }},
            {"DeviceRequest815", 0x80942054, {}, 0, [this] { return device.DeviceRequest815(); }, none},
            {"DeviceRequest816", 0x80942058, {}, 4, [this] { return device.DeviceRequest816(value32); },
             [this] { EXPECT_EQ(value32, 0xA3A2A1A0u); }},
            {"DeviceRequest817", 0x8094205C, {0x78, 0x56, 0x34, 0x12}, 0,
             [this] { return device.DeviceRequest817(0x12345678); }, none},
            {"DeviceRequest818", 0x80942060, {}, 4, [this] { return device.DeviceRequest818(value32); },
             [this] { EXPECT_EQ(value32, 0xA3A2A1A0u); }},
            {"DeviceRequest81C", 0x80942070, {}, 0, [this] { return device.DeviceRequest81C(); }, none},
            // The pipe's requests go out on the pipe's own handle: the
            // device object is closed for them.
            {"PipeRequest81F", 0x8094207C, {}, 0, [this] { return PipeOnly().PipeRequest81F(); }, none},
            {"PipeRequest820", 0x80942080, {}, 0, [this] { return PipeOnly().PipeRequest820(); }, none},
            {"PipeRequest821", 0x80942084, {}, 0, [this] { return PipeOnly().PipeRequest821(); }, none},
            {"PipeRequest823", 0x8094208C, {}, 4, [this] { return PipeOnly().PipeRequest823(record4); },
             [this] { EXPECT_EQ(ToBytes(record4), DefaultReply(4)); }},
            {"PipeRequest824", 0x80942090, {0x0D, 0x0C, 0x0B, 0x0A}, 0,
             [this] { return PipeOnly().PipeRequest824({0x0D, 0x0C, 0x0B, 0x0A}); }, none},
            {"PipeRequest828", 0x809420A2, ToBytes(Pattern<12>(0x70)), 16,
             sized(16, [this] { return PipeOnly().PipeRequest828(data.data(), size, Pattern<12>(0x70)); }),
             [this] { EXPECT_EQ(size, 16u); EXPECT_EQ(DataBytes(16), DefaultReply(16)); }},
            {"PipeRequest829", 0x809420A5, ToBytes(Pattern<12>(0x80)), 3,
             sized(3, [this] { return PipeOnly().PipeRequest829(data.data(), size, Pattern<12>(0x80)); }),
             [this] { EXPECT_EQ(size, 3u); SentFromData(3); }},
        };
    }

    UsbPipe& PipeOnly() {
        device.Close();
        return readPipe;
    }

    // Caller values, each filled with a pattern that no reply carries.
    void FillCallerValues() {
        data = Pattern<32>(0x10);
        value8 = 0x55;
        value16 = 0x5555;
        value32 = 0x55555555;
        record4.fill(0x55);
        record8.fill(0x55);
        record776.fill(0x55);
    }

    UsbDevice device;
    UsbPipe readPipe;
    UsbPipe writePipe;
    std::array<std::uint8_t, 32> data{};
    std::uint32_t size = 0;
    std::uint8_t value8 = 0;
    std::uint16_t value16 = 0;
    std::uint32_t value32 = 0;
    PipeRecord4 record4{};
    DeviceRecord8 record8{};
    DeviceRecord776 record776{};
};

TEST_F(DeviceRequestsTest, EachRequestSendsItsCodeAndRecordAndHandsBackTheReply) {
    for (const RequestCase& request : Table()) {
        SCOPED_TRACE(request.name);
        ASSERT_EQ(Configure(device), USB_STATUS_SUCCESS);
        Driver().ClearRequestLog();
        FillCallerValues();
        EXPECT_EQ(request.issue(), USB_STATUS_SUCCESS);
        ASSERT_EQ(Driver().RequestLog().size(), 1u);
        const sim::ControlRecord& sent = Driver().RequestLog().back();
        EXPECT_EQ(sent.code, request.code) << std::hex << sent.code;
        EXPECT_EQ(sent.input, request.input);
        EXPECT_EQ(sent.outputSize, request.outputSize);
        request.checkReply();
    }
}

TEST_F(DeviceRequestsTest, OnAClosedObjectNothingIsSentAndSizesAndUnclearedValuesStay) {
    device.Close();
    readPipe.Close();
    for (const RequestCase& request : Table()) {
        SCOPED_TRACE(request.name);
        size = 0xDEAD;
        EXPECT_EQ(request.issue(), USB_STATUS_NOT_OPEN);
        // Requests with a size set it to their buffer's size first.
        if (size != 0xDEAD) {
            EXPECT_EQ(size, request.outputSize);
        }
    }
    EXPECT_TRUE(Driver().RequestLog().empty());
    // A record marked "cleared first" is zeroed even so.
    record8.fill(0x55);
    EXPECT_EQ(device.DeviceRequest80F(record8), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(ToBytes(record8), Bytes(8, 0));
}

// Replies the caller receives also after a failure: the cleared reply when
// the driver delivered nothing, or what it delivered.
TEST_F(DeviceRequestsTest, ClearedOrPartialRepliesReachTheCallerAfterAFailure) {
    const auto sum = [](const auto& record) { return std::accumulate(record.begin(), record.end(), std::uint64_t{0}); };
    struct Case {
        const char* name;
        std::uint32_t code;
        std::function<UsbStatus()> issue;
        std::function<std::uint64_t()> got;
    };
    const std::vector<Case> cases = {
        {"805", IOCTL_USBIO_805, [this] { return device.DeviceRequest805(value16, 0, 0); }, [this] { return value16; }},
        {"GetConfiguration", IOCTL_USBIO_GET_CONFIGURATION, [this] { return device.GetConfiguration(value8); },
         [this] { return value8; }},
        {"GetInterface", IOCTL_USBIO_GET_INTERFACE, [this] { return device.GetInterface(value8, 0); },
         [this] { return value8; }},
        {"816", IOCTL_USBIO_816, [this] { return device.DeviceRequest816(value32); }, [this] { return value32; }},
        {"80F", IOCTL_USBIO_80F, [this] { return device.DeviceRequest80F(record8); }, [&] { return sum(record8); }},
        {"814", IOCTL_USBIO_814, [this] { return device.DeviceRequest814(record776); },
         [&] { return sum(record776); }},
        {"823", IOCTL_USBIO_823, [this] { return readPipe.PipeRequest823(record4); }, [&] { return sum(record4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Bytes& delivered : {Bytes{}, Bytes{0x12}}) {
            FillCallerValues();
            Driver().SetControlAnswer(c.code, {0xE0001000, delivered});
            EXPECT_EQ(c.issue(), 0xE0001000u);
            EXPECT_EQ(c.got(), delivered.empty() ? 0u : 0x12u);
        }
    }
}

TEST_F(DeviceRequestsTest, Request818LeavesTheValueAloneOnFailureWhere816WritesZero) {
    Driver().SetControlAnswer(IOCTL_USBIO_816, {0xE0001000, {}});
    Driver().SetControlAnswer(IOCTL_USBIO_818, {0xE0001000, {0x12, 0x34}});
    for (const UsbStatus expected : {0xE0001000u, USB_STATUS_NOT_OPEN}) {
        SCOPED_TRACE(expected);
        std::uint32_t value816 = 0x55555555;
        std::uint32_t value818 = 0x55555555;
        EXPECT_EQ(device.DeviceRequest816(value816), expected);
        EXPECT_EQ(device.DeviceRequest818(value818), expected);
        EXPECT_EQ(value816, 0u);
        EXPECT_EQ(value818, 0x55555555u);
        device.Close();
    }
}

TEST_F(DeviceRequestsTest, AFailedDataRequestReportsWhatWasDelivered) {
    Driver().SetControlAnswer(IOCTL_USBIO_80C, {sim::DRIVER_STALL_PID, {1, 2, 3, 4, 5}});
    size = 20;
    EXPECT_EQ(device.DeviceRequest80C(data.data(), size, {}), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(DataBytes(5), (Bytes{1, 2, 3, 4, 5}));
    size = 32;
    EXPECT_EQ(device.GetStringDescriptor(data.data(), size, 9, 0x0409), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u);
}

TEST_F(DeviceRequestsTest, AConfigurationDescriptorClaimingMoreThanTheCallerHasIsRefused) {
    // The field claims 0x0100 bytes, then 13; the caller has 12. Reading on
    // would send whatever lies behind the caller's memory.
    std::uint8_t descriptor[12] = {9, 2, 0x00, 0x01, 1, 1, 0, 0x80, 50, 1, 2, 3};
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    descriptor[2] = 13;
    descriptor[3] = 0;
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, 3), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device.SubmitConfigurationDescriptor(nullptr, 12), USB_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(Driver().RequestLog().empty());
}

}  // namespace
}  // namespace usbio_test
