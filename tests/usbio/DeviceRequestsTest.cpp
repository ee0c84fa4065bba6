// The further requests of devices and pipes: for each, the control code and
// the exact input record the driver receives, the output it is given, and
// what reaches the caller on success, after a failure and on a closed
// object.
#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"

namespace usbio_test {
namespace {

using namespace usbio;
using Bytes = std::vector<std::uint8_t>;

// What the emulated driver delivers by default: 0xA0, 0xA1, ...
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
    Bytes input;              // the record the driver must receive
    std::uint32_t outputSize; // the output it must be offered
    std::function<UsbStatus()> issue;
    std::function<void()> checkReply;  // what the caller got back
};

class DeviceRequestsTest : public UsbioTest {
protected:
    void SetUp() override {
        Attach();
        OpenLink(device, readPipe, writePipe);
        Driver().ClearRequestLog();
        Driver().ClearControlLog();
    }

    // Every further request, issued with distinctive arguments, against a
    // driver that answers with its default reply.
    std::vector<RequestCase> Table() {
        std::vector<RequestCase> table;
        table.push_back({"SetDescriptor", 0x80942009, {0x04, 0x03, 0x02, 0x01, 0x03, 0x05, 0x09, 0x04}, 6,
                         [this] {
                             size = 6;
                             return device.SetDescriptor(data.data(), size, 0x01020304, 3, 5, 0x0409);
                         },
                         [this] {
                             EXPECT_EQ(size, 6u);
                             EXPECT_EQ(Driver().RequestLog().back().directIn, Bytes(data.begin(), data.begin() + 6));
                             EXPECT_EQ(data, Pattern<32>(0x10)) << "the driver only reads it";
                         }});
        table.push_back({"GetConfigurationDescriptor", 0x80942006, {0, 0, 0, 0, 2, 0x07, 0, 0}, 32,
                         [this] {
                             size = 32;
                             return device.GetConfigurationDescriptor(data.data(), size, 7);
                         },
                         [this] {
                             EXPECT_EQ(size, 32u);
                             EXPECT_EQ(data[1], 2);
                             EXPECT_EQ(data[2], 32);
                         }});
        table.push_back({"GetStringDescriptor", 0x80942006, {0, 0, 0, 0, 3, 0, 0x09, 0x04}, 32,
                         [this] {
                             size = 32;
                             return device.GetStringDescriptor(data.data(), size, 0, 0x0409);
                         },
                         [this] {
                             EXPECT_EQ(size, 4u);
                             EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), (Bytes{4, 3, 0x09, 0x04}));
                         }});
        table.push_back({"DeviceRequest803", 0x8094200C, {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07}, 0,
                         [this] { return device.DeviceRequest803(0x01020304, 0x0506, 0x0708); }, [] {}});
        table.push_back({"DeviceRequest804", 0x80942010, {0x02, 0, 0, 0, 0x01, 0, 0x81, 0}, 0,
                         [this] { return device.DeviceRequest804(2, 1, 0x81); }, [] {}});
        table.push_back({"DeviceRequest805", 0x80942014, {0x01, 0, 0, 0, 0x34, 0x12}, 2,
                         [this] { return device.DeviceRequest805(value16, 1, 0x1234); },
                         [this] { EXPECT_EQ(value16, 0xA1A0); }});
        table.push_back({"GetConfiguration", 0x80942018, {}, 1, [this] { return device.GetConfiguration(value8); },
                         [this] { EXPECT_EQ(value8, 0xA0); }});
        table.push_back({"GetInterface", 0x8094201C, {0x02, 0x01}, 1,
                         [this] { return device.GetInterface(value8, 0x0102); },
                         [this] { EXPECT_EQ(value8, 0xA0); }});
        table.push_back({"SubmitConfigurationDescriptor", 0x80942020, {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xEE, 0xEE, 0xEE},
                         0,
                         [this] {
                             const std::uint8_t descriptor[16] = {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 0xEE, 0xEE, 0xEE,
                                                                  0x77, 0x77, 0x77, 0x77};
                             return device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor);
                         },
                         [] {}});
        table.push_back({"DeviceRequest80A", 0x80942028, {}, 0, [this] { return device.DeviceRequest80A(); }, [] {}});
        table.push_back({"DeviceRequest80B", 0x8094202C, ToBytes(Pattern<8>(0x30)), 0,
                         [this] { return device.DeviceRequest80B(Pattern<8>(0x30)); }, [] {}});
        table.push_back({"DeviceRequest80C", 0x80942032, ToBytes(Pattern<18>(0x40)), 20,
                         [this] {
                             size = 20;
                             return device.DeviceRequest80C(data.data(), size, Pattern<18>(0x40));
                         },
                         [this] {
                             EXPECT_EQ(size, 20u);
                             EXPECT_EQ(Bytes(data.begin(), data.begin() + 20), DefaultReply(20));
                             EXPECT_EQ(data[20], 0x24) << "nothing past the size";
                         }});
        table.push_back({"DeviceRequest80D", 0x80942035, ToBytes(Pattern<18>(0x50)), 10,
                         [this] {
                             size = 10;
                             return device.DeviceRequest80D(data.data(), size, Pattern<18>(0x50));
                         },
                         [this] {
                             EXPECT_EQ(size, 10u);
                             EXPECT_EQ(Driver().RequestLog().back().directIn, Bytes(data.begin(), data.begin() + 10));
                             EXPECT_EQ(data, Pattern<32>(0x10));
                         }});
        table.push_back({"DeviceRequest80F", 0x8094203C, {}, 8, [this] { return device.DeviceRequest80F(record8); },
                         [this] { EXPECT_EQ(ToBytes(record8), DefaultReply(8)); }});
        table.push_back({"DeviceRequest810", 0x80942040, ToBytes(Pattern<8>(0x60)), 0,
                         [this] { return device.DeviceRequest810(Pattern<8>(0x60)); }, [] {}});
        table.push_back({"DeviceRequest814", 0x80942050, {}, 776,
                         [this] { return device.DeviceRequest814(record776); },
                         [this] { EXPECT_EQ(ToBytes(record776), DefaultReply(776)); }});
        table.push_back({"DeviceRequest815", 0x80942054, {}, 0, [this] { return device.DeviceRequest815(); }, [] {}});
        table.push_back({"DeviceRequest816", 0x80942058, {}, 4, [this] { return device.DeviceRequest816(value32); },
                         [this] { EXPECT_EQ(value32, 0xA3A2A1A0u); }});
        table.push_back({"DeviceRequest817", 0x8094205C, {0x78, 0x56, 0x34, 0x12}, 0,
                         [this] { return device.DeviceRequest817(0x12345678); }, [] {}});
        table.push_back({"DeviceRequest818", 0x80942060, {}, 4, [this] { return device.DeviceRequest818(value32); },
                         [this] { EXPECT_EQ(value32, 0xA3A2A1A0u); }});
        table.push_back({"DeviceRequest81C", 0x80942070, {}, 0, [this] { return device.DeviceRequest81C(); }, [] {}});
        // The pipe's requests go out on the pipe's own handle: the device
        // object is closed for them.
        table.push_back({"PipeRequest81F", 0x8094207C, {}, 0, [this] { return PipeOnly().PipeRequest81F(); }, [] {}});
        table.push_back({"PipeRequest820", 0x80942080, {}, 0, [this] { return PipeOnly().PipeRequest820(); }, [] {}});
        table.push_back({"PipeRequest821", 0x80942084, {}, 0, [this] { return PipeOnly().PipeRequest821(); }, [] {}});
        table.push_back({"PipeRequest823", 0x8094208C, {}, 4, [this] { return PipeOnly().PipeRequest823(record4); },
                         [this] { EXPECT_EQ(ToBytes(record4), DefaultReply(4)); }});
        table.push_back({"PipeRequest824", 0x80942090, {0x0D, 0x0C, 0x0B, 0x0A}, 0,
                         [this] { return PipeOnly().PipeRequest824({0x0D, 0x0C, 0x0B, 0x0A}); }, [] {}});
        table.push_back({"PipeRequest828", 0x809420A2, ToBytes(Pattern<12>(0x70)), 16,
                         [this] {
                             size = 16;
                             return PipeOnly().PipeRequest828(data.data(), size, Pattern<12>(0x70));
                         },
                         [this] {
                             EXPECT_EQ(size, 16u);
                             EXPECT_EQ(Bytes(data.begin(), data.begin() + 16), DefaultReply(16));
                         }});
        table.push_back({"PipeRequest829", 0x809420A5, ToBytes(Pattern<12>(0x80)), 3,
                         [this] {
                             size = 3;
                             return PipeOnly().PipeRequest829(data.data(), size, Pattern<12>(0x80));
                         },
                         [this] {
                             EXPECT_EQ(size, 3u);
                             EXPECT_EQ(Driver().RequestLog().back().directIn, Bytes(data.begin(), data.begin() + 3));
                         }});
        return table;
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

// Replies that the caller receives also after a failure: the cleared reply
// when the driver delivered nothing, or what it delivered.
TEST_F(DeviceRequestsTest, ClearedRepliesReachTheCallerAfterAFailure) {
    struct Case {
        const char* name;
        std::uint32_t code;
        std::function<UsbStatus()> issue;
        std::function<std::uint64_t()> got;
    };
    const std::vector<Case> cases = {
        {"DeviceRequest805", IOCTL_USBIO_805, [this] { return device.DeviceRequest805(value16, 0, 0); },
         [this] { return value16; }},
        {"GetConfiguration", IOCTL_USBIO_GET_CONFIGURATION, [this] { return device.GetConfiguration(value8); },
         [this] { return value8; }},
        {"GetInterface", IOCTL_USBIO_GET_INTERFACE, [this] { return device.GetInterface(value8, 0); },
         [this] { return value8; }},
        {"DeviceRequest816", IOCTL_USBIO_816, [this] { return device.DeviceRequest816(value32); },
         [this] { return value32; }},
        {"DeviceRequest80F", IOCTL_USBIO_80F, [this] { return device.DeviceRequest80F(record8); },
         [this] { return std::accumulate(record8.begin(), record8.end(), std::uint64_t{0}); }},
        {"DeviceRequest814", IOCTL_USBIO_814, [this] { return device.DeviceRequest814(record776); },
         [this] { return std::accumulate(record776.begin(), record776.end(), std::uint64_t{0}); }},
        {"PipeRequest823", IOCTL_USBIO_823, [this] { return readPipe.PipeRequest823(record4); },
         [this] { return std::accumulate(record4.begin(), record4.end(), std::uint64_t{0}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillCallerValues();
        Driver().SetControlAnswer(c.code, {0xE0001000, {}});
        EXPECT_EQ(c.issue(), 0xE0001000u);
        EXPECT_EQ(c.got(), 0u);

        // A partial reply before the failure is what the caller gets.
        FillCallerValues();
        Driver().SetControlAnswer(c.code, {0xE0001000, {0x12}});
        EXPECT_EQ(c.issue(), 0xE0001000u);
        EXPECT_EQ(c.got(), 0x12u);
    }
}

TEST_F(DeviceRequestsTest, Request818LeavesTheValueAloneOnFailureWhere816WritesZero) {
    Driver().SetControlAnswer(IOCTL_USBIO_816, {0xE0001000, {}});
    Driver().SetControlAnswer(IOCTL_USBIO_818, {0xE0001000, {0x12, 0x34}});
    std::uint32_t value816 = 0x55555555;
    std::uint32_t value818 = 0x55555555;
    EXPECT_EQ(device.DeviceRequest816(value816), 0xE0001000u);
    EXPECT_EQ(device.DeviceRequest818(value818), 0xE0001000u);
    EXPECT_EQ(value816, 0u);
    EXPECT_EQ(value818, 0x55555555u);

    // On a closed object too.
    device.Close();
    value816 = value818 = 0x55555555;
    EXPECT_EQ(device.DeviceRequest816(value816), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(device.DeviceRequest818(value818), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(value816, 0u);
    EXPECT_EQ(value818, 0x55555555u);
}

TEST_F(DeviceRequestsTest, AFailedDataRequestReportsWhatWasDelivered) {
    Driver().SetControlAnswer(IOCTL_USBIO_80C, {sim::DRIVER_STALL_PID, {1, 2, 3, 4, 5}});
    data = Pattern<32>(0x10);
    size = 20;
    EXPECT_EQ(device.DeviceRequest80C(data.data(), size, {}), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 5), (Bytes{1, 2, 3, 4, 5}));

    size = 32;
    EXPECT_EQ(device.GetStringDescriptor(data.data(), size, 9, 0x0409), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u);
}

TEST_F(DeviceRequestsTest, OnAClosedObjectNothingIsSentAndSizesStayAsTheyWere) {
    device.Close();
    readPipe.Close();
    for (const RequestCase& request : Table()) {
        SCOPED_TRACE(request.name);
        size = 0xDEAD;
        EXPECT_EQ(request.issue(), USB_STATUS_NOT_OPEN);
        // The requests with a size set it to their buffer's size before
        // issuing; a closed object must leave it there.
        if (size != 0xDEAD) {
            EXPECT_EQ(size, request.outputSize);
        }
    }
    EXPECT_TRUE(Driver().RequestLog().empty());
}

TEST_F(DeviceRequestsTest, ARecordMarkedClearedIsZeroedEvenWhenNothingIsSent) {
    device.Close();
    record8.fill(0x55);
    EXPECT_EQ(device.DeviceRequest80F(record8), USB_STATUS_NOT_OPEN);
    EXPECT_EQ(ToBytes(record8), Bytes(8, 0));
}

TEST_F(DeviceRequestsTest, AConfigurationDescriptorGoesOutAsLongAsItsTotalLengthSays) {
    // Total length 12 in a caller buffer of 12: all of it.
    std::uint8_t descriptor[12] = {9, 2, 12, 0, 1, 1, 0, 0x80, 50, 1, 2, 3};
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_SUCCESS);
    ASSERT_EQ(Driver().ControlLog().size(), 1u);
    EXPECT_EQ(Driver().ControlLog()[0].input, Bytes(descriptor, descriptor + 12));
}

TEST_F(DeviceRequestsTest, AConfigurationDescriptorClaimingMoreThanTheCallerHasIsRefused) {
    // The field claims 0x0100 bytes; the caller has 12. Reading on would
    // send whatever lies behind the caller's memory.
    std::uint8_t descriptor[12] = {9, 2, 0x00, 0x01, 1, 1, 0, 0x80, 50, 1, 2, 3};
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    descriptor[2] = 13;
    descriptor[3] = 0;
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, sizeof descriptor), USB_STATUS_INVALID_PARAMETER);
    // Too short to hold the length field, or no descriptor at all.
    EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, 3), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device.SubmitConfigurationDescriptor(nullptr, 12), USB_STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(Driver().RequestLog().empty());
}

TEST_F(DeviceRequestsTest, DevicePathIsKeptOnlyForAnOpenThroughTheList) {
    EXPECT_EQ(device.DevicePath(), nullptr);
    platform::HDEVINFO list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    UsbDevice listed;
    ASSERT_EQ(listed.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    ASSERT_NE(listed.DevicePath(), nullptr);
    EXPECT_EQ(std::string(listed.DevicePath()).rfind("\\\\?\\usb#vid_0c70&pid_0000#", 0), 0u) << listed.DevicePath();
    UsbDevice::DestroyDeviceList(list);
}

}  // namespace
}  // namespace usbio_test
