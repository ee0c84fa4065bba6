// The device object: opening by name and through the device list, what a
// refused Open leaves behind, closing, the further requests and status texts.
#include <cstring>
#include <functional>
#include <future>
#include <iterator>
#include <numeric>
#include <string>
#include <tuple>

#include "tests/usbio/UsbioTestBench.h"
#include "usbio/StatusText.h"

namespace usbio_test {
namespace {

class UsbDeviceTest : public UsbioTest {
protected:
    void SetUp() override {
        first = &Attach();
        Attach(0x0001);
        list = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        device.Close();
        UsbDevice::DestroyDeviceList(list);
        EXPECT_EQ(kernel.ListCount(), 0u);
    }
    std::string Path() const { return device.DevicePath() == nullptr ? "(none)" : device.DevicePath(); }
    sim::ScriptedDevice* first = nullptr;
    platform::HDEVINFO list = nullptr;
    UsbDevice device;
};

TEST_F(UsbDeviceTest, OpensByNameOrThroughTheListStaysOnItsInstanceAndReleasesTheHandleAndItsAutoResetEvent) {
    {
        UsbDevice other;
        ASSERT_EQ(other.Open(1, nullptr, nullptr), USB_STATUS_SUCCESS);
        EXPECT_EQ(other.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
        EXPECT_EQ(other.DevicePath(), nullptr) << "still the instance opened by name";
        EXPECT_EQ(std::tuple(kernel.DeviceHandleCount(), kernel.EventCount(), kernel.ManualResetEventCount()),
                  std::tuple(1u, 1u, 0u));
    }
    EXPECT_EQ(kernel.DeviceHandleCount() + kernel.EventCount(), 0u);
    ASSERT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
    EXPECT_EQ(Path().rfind("\\\\?\\usb#vid_0c70&pid_0001#", 0), 0u) << Path();
}

TEST_F(UsbDeviceTest, ARefusedOpenSaysWhyAndLeavesNothingOpen) {
    using platform::ERROR_INVALID_HANDLE, platform::ERROR_NOT_ENOUGH_MEMORY;
    const auto version = [this](std::uint16_t v) { return [this, v] { first->SetInterfaceVersion(v); }; };
    const auto infoRefused = [this] { Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, sim::DRIVER_DEVICE_REMOVED); };
    const char* const DETAIL = "SetupDiGetDeviceInterfaceDetailA";
    const auto fail = [this](auto call, int nth, auto error) { return [=, this] { FailCall(call, nth, error); }; };
    // clang-format off
    const std::tuple<const char*, std::function<void()>, int, bool, UsbStatus> cases[] = {
        // name, set-up, index, through the list, status
        {"one past the last interface", [] {}, 2, true, USB_STATUS_NO_SUCH_INSTANCE},
        {"a name nobody has", [] {}, 7, false, USB_STATUS_DEVICE_NOT_FOUND},
        {"interface version 0x0140", version(0x0140), 0, false, USB_STATUS_VERSION_MISMATCH},
        {"interface version 0x0142", version(0x0142), 0, true, USB_STATUS_VERSION_MISMATCH},
        {"driver information refused", infoRefused, 0, false, sim::DRIVER_DEVICE_REMOVED},
        {"no event", fail("CreateEventA", 1, ERROR_NOT_ENOUGH_MEMORY), 0, true, USB_STATUS_NO_MEMORY},
        // The first detail call only asks for the size: without it, Open refuses before allocating the record.
        {"no size", fail(DETAIL, 1, ERROR_INVALID_HANDLE), 0, true, USB_STATUS_DEVICE_NOT_FOUND},
        {"no detail", fail(DETAIL, 2, ERROR_NOT_ENOUGH_MEMORY), 0, true, ERROR_NOT_ENOUGH_MEMORY},
        {"no enumeration", fail("SetupDiEnumDeviceInterfaces", 1, ERROR_INVALID_HANDLE), 0, true, ERROR_INVALID_HANDLE},
    };
    // clang-format on
    for (const auto& [name, prepare, index, listed, expected] : cases) {
        SCOPED_TRACE(name);
        prepare();
        EXPECT_EQ(device.Open(index, listed ? list : nullptr, &DRIVER_CLASS), expected);
        kernel.SetFaultHook(nullptr);
        first->SetInterfaceVersion(0x0141);
        Driver().FailControl(IOCTL_USBIO_GET_DRIVER_INFO, 0);
        EXPECT_EQ(std::tuple(device.IsOpen(), device.DevicePath(), kernel.DeviceHandleCount() + kernel.EventCount()),
                  std::tuple(false, nullptr, 0u));
    }
    EXPECT_EQ(device.Open(0, list, nullptr), USB_STATUS_INVALID_PARAMETER) << "a list needs its class";
    EXPECT_EQ(device.Open(0, list, &DRIVER_CLASS), USB_STATUS_SUCCESS);
}

TEST_F(UsbDeviceTest, AListHoldsTheDevicesPresentWhenItWasMade) {
    kernel.DetachDevice(1);
    // Still in the old list: the path no longer opens; the record names the device that did not open.
    EXPECT_EQ(device.Open(1, list, &DRIVER_CLASS), USB_STATUS_DEVICE_NOT_FOUND);
    EXPECT_NE(Path().find("pid_0001"), std::string::npos) << Path();
    platform::HDEVINFO present = UsbDevice::CreateDeviceList(&DRIVER_CLASS);
    EXPECT_EQ(device.Open(1, present, &DRIVER_CLASS), USB_STATUS_NO_SUCH_INSTANCE);
    UsbDevice::DestroyDeviceList(present);
}

// ---- the further requests, one row each: what goes out, and what the caller holds afterwards

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
    Bytes input;  // the record the driver receives
    Bytes reply;  // what the caller holds after a success: the output offered
};
// Requests on caller data go out direct (methods 1 and 2): `got` is as much of it as the size says.
bool OnData(const Row& row) { return (row.code & 3) != 0; }

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

// Whether some thread holds the object's lock: tried from a thread of its own, which never waits.
struct LockProbe : UsbDevice {
    static bool Held(UsbDevice& object) {
        std::mutex& lock = object.*(&LockProbe::ioLock_);
        const auto taken = [&] { return std::unique_lock(lock, std::try_to_lock).owns_lock(); };
        return !std::async(std::launch::async, taken).get();
    }
};

class DeviceRequestsTest : public LinkTest {
protected:
    // Issues a row's request on fresh caller values; data requests are offered as many bytes as the reply has.
    UsbStatus Issue(const Row& row) {
        v = {};
        got.clear();
        size = static_cast<std::uint32_t>(row.reply.size());
        const UsbStatus status = row.issue();
        if (OnData(row)) got.assign(v.data.begin(), v.data.begin() + std::min<std::uint32_t>(size, 32));
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
             0x80942009, {4, 3, 2, 1, 3, 5, 9, 4}, Pattern(0x10, 6)},
            {[this] { return device.GetConfigurationDescriptor(v.data.data(), size, 7); },
             0x80942006, {0, 0, 0, 0, 2, 7, 0, 0}, {9, 2, 32, 0, 1, 1, 0, 0x80, 50}},
            {[this] { return device.GetStringDescriptor(v.data.data(), size, 0, 0x0409); },
             0x80942006, {0, 0, 0, 0, 3, 0, 9, 4}, {4, 3, 9, 4}},
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
             0x80942032, Pattern(0x40, 18), DefaultReply(20)},
            {[this] { return device.DeviceRequest80D(v.data.data(), size, Record<18>(0x50)); },
             0x80942035, Pattern(0x50, 18), Pattern(0x10, 10)},
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
             0x809420A2, Pattern(0x70, 12), DefaultReply(16)},
            {[this] { return readPipe.PipeRequest829(v.data.data(), size, Record<12>(0x80)); },
             0x809420A5, Pattern(0x80, 12), Pattern(0x10, 3)},
        };
        // clang-format on
    }

    CallerValues v;
    std::uint32_t size = 0;
    Bytes got;
};

// A request the driver leaves pending is waited for, under the object's lock, until its late reply is there.
TEST_F(DeviceRequestsTest, EachRequestSendsItsCodeAndRecordAndHandsBackTheReplyAlsoWhenItComesLate) {
    std::vector<bool> lockedWaits;
    kernel.SetFaultHook([&](const char* call) {
        if (std::strcmp(call, "GetOverlappedResult") == 0)
            lockedWaits.push_back(LockProbe::Held(device) || LockProbe::Held(readPipe));
        return platform::DWORD{0};
    });
    for (const Micros delay : {Micros{0}, 5 * MS})
        for (const Row& row : Table()) {
            SCOPED_TRACE(testing::Message() << std::hex << row.code << " late " << std::dec << delay);
            Driver().ClearRequestLog();
            Driver().DelayControl(row.code, delay);
            const Micros start = clock.Now();
            EXPECT_EQ(Issue(row), USB_STATUS_SUCCESS);
            EXPECT_EQ(std::tuple(got, clock.Now() - start), std::tuple(row.reply, delay));
            ASSERT_EQ(Driver().RequestLog().size(), 1u);
            const sim::ControlRecord& sent = Driver().RequestLog().back();
            EXPECT_EQ(std::tuple(sent.code, sent.input, sent.outputSize),
                      std::tuple(row.code, row.input, row.reply.size()));
            // Direct in (method 1): the driver reads the caller's data in place.
            EXPECT_EQ(sent.directIn, (row.code & 3) == 1 ? got : Bytes{});
        }
    EXPECT_EQ(lockedWaits, std::vector<bool>(Table().size(), true));
}

// Failed, at once or late: the delivered, else the cleared reply (818 writes only on success); closed: nothing sent.
TEST_F(DeviceRequestsTest, FailedAndClosedRequestsLeaveTheCallerTheDeliveredOrClearedReply) {
    const std::pair<Bytes, Micros> answers[] = {{{}, 0}, {{0x12}, 0}, {{}, 5 * MS}, {{0x12}, 5 * MS}};
    for (const bool open : {true, false}) {
        for (const Row& row : Table()) {
            for (const auto& [delivered, delay] : answers) {
                SCOPED_TRACE(testing::Message() << std::hex << row.code << (open ? " open " : " closed ")
                                                << delivered.size() << " late " << delay);
                if (open && row.code == IOCTL_USBIO_GET_DESCRIPTOR) continue;  // the driver's own answers
                Driver().SetControlAnswer(row.code, {0xE0001000, delivered});
                Driver().DelayControl(row.code, delay);
                EXPECT_EQ(Issue(row), open ? 0xE0001000u : USB_STATUS_NOT_OPEN);
                Bytes expected(row.reply.size(), 0);
                if (open && !delivered.empty() && !expected.empty()) expected[0] = 0x12;
                if (row.code == IOCTL_USBIO_818) expected.assign(4, 0x55);
                if (OnData(row)) expected = Pattern(0x10, open ? delivered.size() : row.reply.size());
                if (OnData(row) && open && (row.code & 3) != 1) expected = delivered;
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
    const std::uint8_t claims256[12] = {9, 2, 0x00, 0x01, 1, 1, 0, 0x80, 50, 1, 2, 3},
                       claims13[12] = {9, 2, 13, 0, 1, 1, 0, 0x80, 50, 1, 2, 3};
    Driver().ClearRequestLog();
    for (const auto& [descriptor, size] : {std::pair{claims256, 12u}, {claims13, 12u}, {claims13, 3u}, {nullptr, 12u}})
        EXPECT_EQ(device.SubmitConfigurationDescriptor(descriptor, size), USB_STATUS_INVALID_PARAMETER) << size;
    EXPECT_TRUE(Driver().RequestLog().empty()) << "refused before anything went out";
    std::uint32_t size = 32;
    EXPECT_EQ(device.GetStringDescriptor(v.data.data(), size, 9, 0x0409), sim::DRIVER_STALL_PID);
    EXPECT_EQ(size, 0u) << "nothing delivered";
}

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

TEST(StatusTextTest, EveryRowInItsOrderEveryOtherCodeTheSystemsTextAndTheTextCutToTheCallersArea) {
    ASSERT_EQ(StatusTextTable.size(), std::size(EXPECTED_ROWS));
    for (std::size_t i = 0; i < std::size(EXPECTED_ROWS); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(StatusTextTable[i].code, EXPECTED_ROWS[i].first);
        EXPECT_STREQ(StatusMessage(EXPECTED_ROWS[i].first), EXPECTED_ROWS[i].second);
    }
    // System codes and the gaps in the driver's numbering.
    for (const UsbStatus code : {5u, 997u, 0xE000000Eu, 0xE0001019u, 0xE0001101u})
        EXPECT_STREQ(StatusMessage(code), "Windows system error code.");
    char area[64];
    EXPECT_STREQ(UsbDevice::StatusText(area, sizeof area, 0xE0001013), "Error code 0xE0001013: Pipe not found.");
    // A small area gets the text cut and terminated, nothing past it; size 0 and no area get nothing.
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
