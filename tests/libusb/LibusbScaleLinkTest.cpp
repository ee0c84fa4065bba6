// The libusb link against devices on a umockdev bus: the connect rows, the
// packets byte for byte, and libusb's own waits: a time-out and its
// cancellation, a cancellation that ends late, an unplugged scale. libusb
// waits for real, so the few time-outs here cost their real 100 ms.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "scale/libusb/LibusbScaleLink.h"
#include "sim/SimulatedScale.h"
#include "storage/CalibrationFile.h"
#include "tests/support/ConnectResults.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/UmockdevScale.h"
#include "ui/quelmarDlg.h"

using namespace scale;
using testing_support::FakeUsbDevice;
using testing_support::Situation;
using testing_support::UmockdevBus;
using Bytes = std::vector<std::uint8_t>;

namespace {

FakeUsbDevice Device(std::shared_ptr<sim::DeviceModel> model) {
    FakeUsbDevice device;
    device.model = std::move(model);
    return device;
}
FakeUsbDevice Device(std::uint16_t vendor = 0x0C70, std::uint16_t product = 0x0000) {
    return Device(std::make_shared<sim::ScriptedDevice>(vendor, product));
}

// Builds the situation; false when the bus cannot show it.
bool Arrange(Situation situation, UmockdevBus& bus) {
    auto model = std::make_shared<sim::ScriptedDevice>();
    FakeUsbDevice scale = Device(model);
    switch (situation) {
        case Situation::NoDevice: return true;
        case Situation::ForeignDevices:
            bus.Plug(Device(0x1234, 0x0000));
            bus.Plug(Device(0x0C70, 0x0001));
            return true;
        case Situation::ScalesAfterForeign:
            bus.Plug(Device(0x1234, 0x0000));
            bus.Plug(Device());
            break;
        case Situation::ListRefused:
        case Situation::UnreadableDescriptor:
        case Situation::OpenRefused: return false;
        case Situation::NodeLocked: scale.nodeLocked = true; break;
        case Situation::ConfigurationRefused:  // the claim of interface 0 is refused
            model->SetConfigurationStatus(sim::SimulatedScale::STATUS_ONE_INTERFACE_ONLY);
            break;
        case Situation::SetConfigurationRefused: scale.setConfigurationErrno = EBUSY; [[fallthrough]];
        case Situation::Unconfigured: scale.configured = false; break;
        case Situation::BulkEndpoints: scale.transferType = 2; break;
        case Situation::NoReadEndpoint: scale.endpoints = {0, WRITE_ENDPOINT}; break;
        case Situation::NoWriteEndpoint: scale.endpoints = {READ_ENDPOINT, 0x03}; break;
    }
    bus.Plug(std::move(scale));
    return true;
}

TEST(LibusbConnectTest, EachRowOnAUmockdevBus) {
    for (const testing_support::ConnectRow& row : testing_support::ConnectRows()) {
        SCOPED_TRACE(row.name);
        {
            UmockdevBus bus;
            if (!Arrange(row.situation, bus)) continue;
            LibusbScaleLink link;
            {
                testing_support::WithoutFileOverride asUser;  // root is refused a locked node too
                testing_support::ExpectResults(row, link);
            }
            // A configuration is chosen only where none is active.
            const bool unconfigured =
                row.situation == Situation::Unconfigured || row.situation == Situation::SetConfigurationRefused;
            EXPECT_EQ(bus.setConfigurationRequests, unconfigured ? 1 : 0);
            if (row.configure != ConfigureResult::Ok) {
                EXPECT_FALSE(link.SendRestart());
            }
            link.Close();
            link.Close();
            EXPECT_FALSE(link.ReadStatus());
        }
        UmockdevBus bus;
        ASSERT_TRUE(Arrange(row.situation, bus));
        LibusbScaleLink link;
        testing_support::FakeWindowServices window;
        testing_support::MemoryFileSystem files;
        const auto calibration = storage::EncodeCalibration(storage::CalibrationData{2.0f, {}});
        files.SetFile(storage::CALIBRATION_FILE_PATH, Bytes(calibration.begin(), calibration.end()));
        scale::ProgramValues program;
        ui::MainDialog dialog(window, link, files, program);
        {
            testing_support::WithoutFileOverride asUser;
            dialog.InitializeWindow();
        }
        testing_support::ExpectStartUp(row, window);
    }
}

// ---- exchanges

double MillisecondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
// A time-out and the cancellation's bound, with room for a loaded machine.
constexpr double MOST_MS = READ_STATUS_TIMEOUT_MS + CANCEL_WAIT_MS + 250;

class LibusbExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus.Plug(device);
        ASSERT_EQ(link.FindScale(), FindResult::Ok);
        ASSERT_EQ(link.ConfigureScale(), ConfigureResult::Ok);
    }
    Bytes Status() const { return Bytes(link.StatusPacket(), link.StatusPacket() + 8); }
    // Changes or reads the scripted scale while the bus holds still.
    template <typename F>
    auto Scale(F f) {
        UmockdevBus::ModelAccess hold(bus);
        return f(*scale);
    }

    std::shared_ptr<sim::ScriptedDevice> scale = std::make_shared<sim::ScriptedDevice>();
    FakeUsbDevice device = Device(scale);
    UmockdevBus bus;
    LibusbScaleLink link;
};

TEST_F(LibusbExchangeTest, PacketsByteForByte) {
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({2, 200, 0, 0x10, 0, 0, 0, 9}); });
    EXPECT_EQ(link.ReadWeight(), std::optional<std::uint8_t>(200));
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({2, 95, 0, 0x04, 1, 2, 3, 4}); });
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status(), Bytes({2, 95, 0, 0x04, 1, 2, 3, 4}));
    ASSERT_TRUE(link.SendLimits({10, 20, 30, 40, 50, 60, 70, 255}, LIMITS_AFTER_LOAD_TIMEOUT_MS));
    ASSERT_TRUE(link.SendRestart());
    EXPECT_EQ(Scale([](sim::ScriptedDevice& s) { return s.Writes(); }),
              (std::vector<Bytes>{{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                  {2, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0},
                                  {3, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0}}));
    // Short packets are refused: three bytes have no line byte, one no weight.
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({2, 61, 0}); });
    EXPECT_FALSE(link.ReadStatus());
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({2}); });
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
}

TEST_F(LibusbExchangeTest, ASilentScaleTimesOutTheReadAndAPacketArrivingWithTheCancellationIsUsed) {
    const double silent = MillisecondsOf([&] { EXPECT_FALSE(link.ReadStatus()); });
    EXPECT_GE(silent, READ_STATUS_TIMEOUT_MS);
    EXPECT_LT(silent, MOST_MS);
    EXPECT_EQ(bus.discards, 1);
    // The cancelled read ended: the next one gets the next packet.
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({1, 7, 0, 0, 0, 0, 0, 0}); });
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status()[1], 7);
    Scale([](sim::ScriptedDevice& s) { s.SetPacketOnCancel({2, 50, 0, 0x08, 0, 0, 0, 0}); });
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status(), Bytes({2, 50, 0, 0x08, 0, 0, 0, 0}));
    EXPECT_EQ(bus.discards, 2);
}

TEST_F(LibusbExchangeTest, AFailedWriteSendsNoReadAndAnUnpluggedScaleFailsAtOnce) {
    Scale([](sim::ScriptedDevice& s) {
        s.SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, sim::SimulatedScale::STATUS_DEVICE_REMOVED);
        s.QueuePacket({2, 60, 0, 0x02, 0, 0, 0, 0});
    });
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
    EXPECT_EQ(bus.submissions, 1);
    Scale([](sim::ScriptedDevice& s) { s.Unplug(); });
    EXPECT_LT(MillisecondsOf([&] { EXPECT_FALSE(link.ReadStatus()); }), READ_STATUS_TIMEOUT_MS);
    EXPECT_FALSE(link.SendLimits({}, LIMITS_AFTER_SAVE_TIMEOUT_MS));
}

// A cancelled read that the controller gives back late: the exchange fails
// within its bound, and the transfer is not submitted again until it ended.
class LibusbSlowCancelTest : public LibusbExchangeTest {
protected:
    void SetUp() override {
        device.discardDelay = 300'000;
        LibusbExchangeTest::SetUp();
    }
};

TEST_F(LibusbSlowCancelTest, TheTransferStaysOutOfUseUntilItEnds) {
    EXPECT_LT(MillisecondsOf([&] { EXPECT_FALSE(link.ReadStatus()); }), MOST_MS);
    Scale([](sim::ScriptedDevice& s) { s.QueuePacket({2, 33, 0, 0x02, 0, 0, 0, 0}); });
    // Each later exchange waits at most the cancellation bound for the old
    // transfer; the packet is read only once it has ended.
    int failures = 0;
    while (!link.ReadStatus() && failures < 20) {
        ++failures;
        EXPECT_EQ(bus.submissions, 1);
    }
    EXPECT_GE(failures, 1);
    EXPECT_LT(failures, 20);
    EXPECT_EQ(bus.submissions, 2);
    EXPECT_EQ(Status()[1], 33);
}

}  // namespace
