// The libusb link on a umockdev bus: the connect rows, the packets, and how its time-outs end transfers. libusb
// waits in real time, so the waits show in what the bus was asked (a timed-out read is discarded), not in durations.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "scale/LinkKeeper.h"
#include "scale/libusb/LibusbScaleLink.h"
#include "sim/SimulatedScale.h"
#include "storage/CalibrationFile.h"
#include "tests/support/ConnectResults.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/UmockdevScale.h"
#include "ui/ControlIds.h"
#include "ui/quelmarDlg.h"

using namespace scale;
using sim::ScriptedDevice;
using testing_support::Situation;
using testing_support::UmockdevBus;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Builds the situation; false when the bus cannot show it.
bool Arrange(Situation situation, UmockdevBus& bus) {
    const auto model = std::make_shared<ScriptedDevice>();
    testing_support::FakeUsbDevice scale{model};
    switch (situation) {
        case Situation::NoDevice: return true;
        case Situation::ForeignDevices: scale.model = std::make_shared<ScriptedDevice>(0x0C70, 0x0001); [[fallthrough]];
        case Situation::ScalesAfterForeign: bus.Plug({std::make_shared<ScriptedDevice>(0x1234, 0x0000)}); break;
        case Situation::ListRefused:
        case Situation::UnreadableDescriptor:
        case Situation::OpenRefused: return false;
        case Situation::NodeLocked: scale.nodeLocked = true; break;
        case Situation::ConfigurationRefused: model->SetConfigurationStatus(sim::DRIVER_ONE_INTERFACE_ONLY); break;
        case Situation::SetConfigurationRefused: scale.setConfigurationErrno = EBUSY; [[fallthrough]];
        case Situation::Unconfigured: scale.configured = false; break;
        case Situation::BulkEndpoints: scale.transferType = 2; break;
        case Situation::NoReadEndpoint: scale.endpoints = {0, WRITE_ENDPOINT}; break;
        case Situation::NoWriteEndpoint: scale.endpoints = {READ_ENDPOINT, 0x03}; break;
    }
    bus.Plug(std::move(scale));
    return true;
}

// The start-up's box tells FindScale's and ConfigureScale's results apart.
TEST(LibusbConnectTest, EachRowButARefusedListDescriptorOrOpenOnAUmockdevBusThroughTheWindow) {
    const bool asUser = testing_support::SetFileOverride(false);  // root is refused a locked node too
    std::size_t ran = 0;
    for (const testing_support::ConnectRow& row : testing_support::ConnectRows()) {
        SCOPED_TRACE(row.name);
        UmockdevBus bus;
        if (!Arrange(row.situation, bus)) continue;
        ++ran;
        LibusbScaleLink link;
        testing_support::FakeWindowServices window;
        testing_support::MemoryFileSystem files;
        const auto calibration = storage::EncodeCalibration(storage::CalibrationData{2.0f, {}});
        files.SetFile(storage::CALIBRATION_FILE_PATH, Bytes(calibration.begin(), calibration.end()));
        scale::ProgramValues program;
        storage::MemoryShiftStore shift;
        ui::MainDialog dialog(window, link, files, shift, program);
        dialog.InitializeWindow();
        testing_support::MessageRecord box = row.box;
        if (row.situation == Situation::SetConfigurationRefused)  // EBUSY: another program holds the scale
            box.text =
                "No se pudo configurar el dispositivo: la balanza está en uso por otro programa (¿otra copia "
                "de Quelmar abierta?). Ciérrelo y vuelva a abrir Quelmar.";
        EXPECT_EQ(window.messages, std::vector<testing_support::MessageRecord>{box});
        EXPECT_EQ(window.closed, row.ends ? std::optional(platform::ModalResult::Ok) : std::nullopt);
        // A configuration is chosen only where none is active.
        const bool unconfigured =
            row.situation == Situation::Unconfigured || row.situation == Situation::SetConfigurationRefused;
        EXPECT_EQ(bus.setConfigurationRequests, unconfigured ? 1 : 0);
        link.Close();
        link.Close();
        EXPECT_FALSE(link.ReadStatus());
    }
    EXPECT_EQ(ran, testing_support::ConnectRows().size() - 3);
    if (asUser) testing_support::SetFileOverride(true);
    // Hubs and other makers' devices are not candidates: with no scale the bus reads as empty, as on Windows.
    UmockdevBus bus;
    bus.Plug({std::make_shared<ScriptedDevice>(0x1234, 0x0000)});
    LibusbScaleLink link;
    EXPECT_EQ(link.FindScale(), FindResult::NoDevice);
}

class LibusbExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus.Plug({scale});
        ASSERT_EQ(link.FindScale(), FindResult::Ok);
        ASSERT_EQ(link.ConfigureScale(), ConfigureResult::Ok);
    }

    // Changes or reads the scripted scale while the bus holds still.
    template <typename F>
    void Scale(F f) {
        UmockdevBus::ModelAccess hold(bus);
        f(*scale);
    }

    std::shared_ptr<ScriptedDevice> scale = std::make_shared<ScriptedDevice>();
    UmockdevBus bus;
    LibusbScaleLink link;
};

TEST_F(LibusbExchangeTest, PacketsByteForByte) {
    testing_support::ExpectPacketsByteForByte(link, [&](auto f) { Scale(f); });
}

TEST_F(LibusbExchangeTest, TimedOutReadsAreCancelledAndTheirLatePacketsUsedOrAwaited) {
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_EQ(bus.discards, 1);
    // The cancelled read ended: the next one goes out, and takes the packet that comes with its cancellation.
    Scale([](ScriptedDevice& s) { s.SetPacketOnCancel({2, 50, 0, 0x08, 0, 0, 0, 0}); });
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Bytes(link.StatusPacket(), link.StatusPacket() + 8), Bytes({2, 50, 0, 0x08, 0, 0, 0, 0}));
    EXPECT_EQ(bus.discards, 2);

    // Each exchange waits at most the cancellation bound for a late cancelled read (so some fail while it lasts),
    // and the read is not resubmitted until it ended.
    bus.discardDelay = 300'000;  // microseconds
    EXPECT_FALSE(link.ReadStatus());
    const int submitted = bus.submissions;
    Scale([](ScriptedDevice& s) { s.QueuePacket({2, 33, 0, 0x02, 0, 0, 0, 0}); });
    int failures = 0;
    while (!link.ReadStatus() && failures < 20) {
        ++failures;
        EXPECT_EQ(bus.submissions, submitted);
    }
    EXPECT_GE(failures, 1);
    EXPECT_LT(failures, 20);
    EXPECT_EQ(bus.submissions, submitted + 1);
    EXPECT_EQ(link.StatusPacket()[1], 33);
}

TEST_F(LibusbExchangeTest, AFailedWriteSendsNoReadAndAnUnpluggedScaleFails) {
    Scale([](ScriptedDevice& s) {
        s.SetWriteMode(ScriptedDevice::WriteMode::Fail, sim::DRIVER_DEVICE_REMOVED);
        s.QueuePacket({2, 60, 0, 0x02, 0, 0, 0, 0});
    });
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
    EXPECT_EQ(bus.submissions, 1);
    EXPECT_FALSE(link.IsLost()) << "a stalled write is no loss";
    Scale([](ScriptedDevice& s) { s.Unplug(); });
    EXPECT_FALSE(link.ReadStatus());
    EXPECT_FALSE(link.SendLimits({}, LIMITS_AFTER_SAVE_TIMEOUT_MS));
}

// In work mode the scale's node leaves the bus; the scale on a new node is found, gets the limits again and counts.
TEST_F(LibusbExchangeTest, AScaleWhoseNodeLeftIsFoundOnItsNewNodeGetsTheLimitsAgainAndCounts) {
    testing_support::FakeWindowServices window;
    testing_support::MemoryFileSystem files;
    storage::MemoryShiftStore shift;
    ProgramValues program{.limitsInForce = LimitCounts{1, 2, 3, 4, 5, 6, 7, 8}};
    ui::MainDialog dialog(window, link, files, shift, program);
    dialog.EnterMode(Mode::WorkMode);
    const auto second = std::make_shared<ScriptedDevice>();
    second->QueuePacket({2, 40, 0, 0x01, 0, 0, 0, 0});
    Scale([](ScriptedDevice& s) { s.Unplug(); });
    bus.Remove(0);
    dialog.OnTimer(ui::TIMER_WORK);
    EXPECT_EQ(window.GetControlText(ui::IDC_STATE), SCALE_LOST_TEXT);
    bus.Plug({second});
    for (int i = 0; i <= TICKS_PER_RECONNECT; ++i) dialog.OnTimer(ui::TIMER_WORK);
    EXPECT_EQ(window.GetControlText(ui::IDC_STATE), "Trabajando");
    EXPECT_EQ(dialog.Values().statistics.totalCount, 1u);
    UmockdevBus::ModelAccess hold(bus);
    EXPECT_EQ(Bytes(second->Writes().at(0).begin(), second->Writes().at(0).begin() + 9),
              Bytes({2, 1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
