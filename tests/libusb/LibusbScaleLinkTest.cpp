// The libusb link against devices on a umockdev bus: finding and configuring
// the scale with every connect result, and the exchanges byte for byte with
// their time-outs, cancellations, short packets and an unplugged scale.
// libusb waits for real, so the few time-outs here cost their real 100 ms.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "scale/ScaleLink.h"
#include "scale/libusb/LibusbScaleLink.h"
#include "tests/support/ScriptedDevice.h"
#include "sim/SimulatedScale.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/FakeWindowServices.h"
#include "tests/support/UmockdevScale.h"
#include "ui/quelmarDlg.h"

using namespace scale;
using testing_support::FakeUsbDevice;
using testing_support::UmockdevBus;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::shared_ptr<sim::ScriptedDevice> Scripted(std::uint16_t vendor = 0x0C70, std::uint16_t product = 0x0000) {
    return std::make_shared<sim::ScriptedDevice>(vendor, product);
}

FakeUsbDevice Device(std::shared_ptr<sim::DeviceModel> model) {
    FakeUsbDevice device;
    device.model = std::move(model);
    return device;
}

// ---- connecting

struct ConnectCase {
    const char* name;
    std::vector<FakeUsbDevice> devices;
    scale::FindResult find;
    scale::ConfigureResult configure;  // when found
    int setConfigurationRequests;
    bool accessRefused;
};

std::vector<ConnectCase> ConnectCases() {
    auto scale = [] { return Device(Scripted()); };
    auto with = [&](auto change) {
        FakeUsbDevice device = scale();
        change(device);
        return device;
    };
    auto refusing = std::make_shared<sim::ScriptedDevice>();
    refusing->SetConfigurationStatus(sim::SimulatedScale::STATUS_ONE_INTERFACE_ONLY);
    return {
        {"no device", {}, scale::FindResult::NoDevice, scale::ConfigureResult::Ok, 0, false},
        {"other product of the vendor", {Device(Scripted(0x0C70, 0x0001))}, scale::FindResult::NotIdentified, scale::ConfigureResult::Ok, 0, false},
        {"two foreign devices", {Device(Scripted(0x0C71, 0)), Device(Scripted(0x1234, 0))}, scale::FindResult::NotIdentified, scale::ConfigureResult::Ok,
         0, false},
        {"scale beside a foreign device", {Device(Scripted(0x1234, 0)), scale()}, scale::FindResult::Ok, scale::ConfigureResult::Ok, 0, false},
        {"two scales", {scale(), scale()}, scale::FindResult::Ok, scale::ConfigureResult::Ok, 0, false},
        {"bulk endpoints", {with([](FakeUsbDevice& d) { d.transferType = 2; })}, scale::FindResult::Ok, scale::ConfigureResult::Ok, 0, false},
        {"node without permission", {with([](FakeUsbDevice& d) { d.nodeLocked = true; })}, scale::FindResult::Ok,
         scale::ConfigureResult::OpenFailed, 0, true},
        {"unconfigured device gets configuration 1",
         {with([](FakeUsbDevice& d) { d.configured = false; })}, scale::FindResult::Ok, scale::ConfigureResult::Ok, 1, false},
        {"configuration refused by the system",
         {with([](FakeUsbDevice& d) {
             d.configured = false;
             d.setConfigurationErrno = EBUSY;
         })},
         scale::FindResult::Ok, scale::ConfigureResult::ConfigurationFailed, 1, false},
        {"interface claim refused", {Device(refusing)}, scale::FindResult::Ok, scale::ConfigureResult::ConfigurationFailed, 0, false},
        {"no endpoint 0x81", {with([](FakeUsbDevice& d) { d.endpoints = {0, 0x02}; })}, scale::FindResult::Ok,
         scale::ConfigureResult::ReadPipeFailed, 0, false},
        {"no endpoint 0x02", {with([](FakeUsbDevice& d) { d.endpoints = {0x81, 0x03}; })}, scale::FindResult::Ok,
         scale::ConfigureResult::WritePipeFailed, 0, false},
    };
}

TEST(LibusbConnectTest, EveryResultOfTheConnectSequence) {
    for (ConnectCase& row : ConnectCases()) {
        SCOPED_TRACE(row.name);
        UmockdevBus bus;
        for (FakeUsbDevice& device : row.devices) bus.Plug(std::move(device));
        LibusbScaleLink link;
        ASSERT_EQ(link.FindScale(), row.find);
        if (row.find != scale::FindResult::Ok) continue;
        scale::ConfigureResult configured;
        {
            testing_support::WithoutFileOverride asUser;
            configured = link.ConfigureScale();
        }
        EXPECT_EQ(configured, row.configure);
        EXPECT_EQ(link.AccessRefused(), row.accessRefused);
        int requests = 0;
        for (std::size_t i = 0; i < row.devices.size(); ++i) requests += bus.SetConfigurationRequests(i);
        EXPECT_EQ(requests, row.setConfigurationRequests);
        // Every exchange fails on a link that is not configured, and after
        // it has been closed.
        if (configured != scale::ConfigureResult::Ok) {
            EXPECT_FALSE(link.SendRestart());
        }
        link.Close();
        link.Close();
        EXPECT_FALSE(link.ReadStatus());
    }
}

// What the operator is told at start-up when the window runs on this link.
TEST(LibusbConnectTest, WindowReportsEachOutcome) {
    struct Row {
        const char* name;
        std::vector<FakeUsbDevice> devices;
        const char* message;
    };
    FakeUsbDevice locked = Device(Scripted());
    locked.nodeLocked = true;
    FakeUsbDevice noRead = Device(Scripted());
    noRead.endpoints = {0, 0x02};
    Row rows[] = {
        {"no device", {}, "No hay dispositivos USB conectados!"},
        {"no permission",
         {locked},
         "No se pudo abrir el dispositivo: el sistema no da permiso de acceso a la balanza USB. Instale la regla "
         "udev packaging/udev/60-quelmar.rules (ver docs/linux-usb.md) y vuelva a conectarla."},
        {"no endpoint 0x81", {noRead}, "No se pudo bindear el pipe 0x81"},
        {"ready", {Device(Scripted())}, "Dispositivo Encontrado y Configurado!"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        UmockdevBus bus;
        for (FakeUsbDevice& device : row.devices) bus.Plug(std::move(device));
        LibusbScaleLink link;
        testing_support::FakeWindowServices window;
        testing_support::MemoryFileSystem files;
        scale::ProgramValues program;
        ui::MainDialog dialog(window, link, files, program);
        {
            testing_support::WithoutFileOverride asUser;
            dialog.InitializeWindow();
        }
        ASSERT_FALSE(window.MessageTexts().empty());
        EXPECT_EQ(window.MessageTexts().front(), row.message);
    }
}

// ---- exchanges

class LibusbExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus.Plug(Device(scale));
        ASSERT_EQ(link.FindScale(), scale::FindResult::Ok);
        ASSERT_EQ(link.ConfigureScale(), scale::ConfigureResult::Ok);
    }
    Bytes Status() const { return Bytes(link.StatusPacket(), link.StatusPacket() + 8); }
    // The bytes of the last write the device received.
    Bytes LastWrite() {
        UmockdevBus::ModelAccess hold(bus);
        return scale->Writes().empty() ? Bytes{} : scale->Writes().back();
    }
    void Queue(Bytes bytes) {
        UmockdevBus::ModelAccess hold(bus);
        scale->QueuePacket(std::move(bytes));
    }
    template <typename F>
    auto Timed(F exchange, double& milliseconds) {
        const auto start = std::chrono::steady_clock::now();
        auto result = exchange();
        milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

    std::shared_ptr<sim::ScriptedDevice> scale = Scripted();
    UmockdevBus bus;
    LibusbScaleLink link;
};

TEST_F(LibusbExchangeTest, WeightReplyAndStatusPacketAsTheyArrive) {
    Queue({2, 200, 0, 0x10, 0, 0, 0, 9});
    EXPECT_EQ(link.ReadWeight(), std::optional<std::uint8_t>(200));
    EXPECT_EQ(LastWrite(), Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    Queue({2, 95, 0, 0x04, 1, 2, 3, 4});
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status(), Bytes({2, 95, 0, 0x04, 1, 2, 3, 4}));
}

TEST_F(LibusbExchangeTest, LimitsGoOutByteExactAndStayInTheCommandBuffer) {
    ASSERT_TRUE(link.SendLimits({10, 20, 30, 40, 50, 60, 70, 255}, LIMITS_AFTER_LOAD_TIMEOUT_MS));
    EXPECT_EQ(LastWrite(), Bytes({2, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(link.SendRestart());
    EXPECT_EQ(LastWrite(), Bytes({3, 10, 20, 30, 40, 50, 60, 70, 255, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(LibusbExchangeTest, SilentScaleTimesOutTheReadWhichIsCancelled) {
    double ms = 0;
    EXPECT_FALSE(Timed([&] { return link.ReadStatus(); }, ms));
    EXPECT_GE(ms, READ_STATUS_TIMEOUT_MS);
    // Never held past its time-out and the cancellation's bound (with room
    // for a loaded machine).
    EXPECT_LT(ms, READ_STATUS_TIMEOUT_MS + CANCEL_WAIT_MS + 250);
    EXPECT_EQ(bus.Discards(0), 1);
    // The cancelled read ended: the next one gets the next packet.
    Queue({1, 7, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status()[1], 7);
}

TEST_F(LibusbExchangeTest, PacketArrivingWithTheCancellationIsUsed) {
    {
        UmockdevBus::ModelAccess hold(bus);
        scale->SetPacketOnCancel({2, 50, 0, 0x08, 0, 0, 0, 0});
    }
    EXPECT_TRUE(link.ReadStatus());
    EXPECT_EQ(Status(), Bytes({2, 50, 0, 0x08, 0, 0, 0, 0}));
    EXPECT_EQ(bus.Discards(0), 1);
}

// A cancelled read that the controller gives back late: the exchange fails
// after its bound, and the transfer is not submitted again until it ended.
TEST(LibusbSlowCancelTest, TransferStaysOutOfUseUntilItEnds) {
    auto scale = Scripted();
    FakeUsbDevice device = Device(scale);
    device.discardDelay = 300'000;
    UmockdevBus bus;
    bus.Plug(device);
    LibusbScaleLink link;
    ASSERT_EQ(link.FindScale(), scale::FindResult::Ok);
    ASSERT_EQ(link.ConfigureScale(), scale::ConfigureResult::Ok);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.ReadStatus());
    const double firstMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(firstMs, READ_STATUS_TIMEOUT_MS + CANCEL_WAIT_MS + 250);
    {
        UmockdevBus::ModelAccess hold(bus);
        scale->QueuePacket({2, 33, 0, 0x02, 0, 0, 0, 0});
    }
    // Each later exchange waits at most the cancellation bound for the old
    // transfer; the packet is read only once it has ended.
    int failures = 0;
    while (!link.ReadStatus() && failures < 20) {
        ++failures;
        EXPECT_EQ(bus.Submissions(0), 1u);
    }
    EXPECT_GE(failures, 1);
    EXPECT_LT(failures, 20);
    EXPECT_EQ(bus.Submissions(0), 2u);
    EXPECT_EQ(link.StatusPacket()[1], 33);
}

TEST_F(LibusbExchangeTest, ShortPacketsAreRefused) {
    Queue({2, 60, 0, 0x02, 0, 0, 0, 0});
    ASSERT_TRUE(link.ReadStatus());
    Queue({2, 61, 0});  // three bytes: no line byte
    EXPECT_FALSE(link.ReadStatus());
    Queue({2});  // a weight reply without its weight byte
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
}

TEST_F(LibusbExchangeTest, FailedOrStuckWriteSendsNoRead) {
    {
        UmockdevBus::ModelAccess hold(bus);
        scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Fail, sim::SimulatedScale::STATUS_DEVICE_REMOVED);
    }
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
    EXPECT_EQ(bus.Submissions(0), 1u);
    {
        UmockdevBus::ModelAccess hold(bus);
        scale->SetWriteMode(sim::ScriptedDevice::WriteMode::Never);
    }
    double ms = 0;
    EXPECT_FALSE(Timed([&] { return link.SendRestart(); }, ms));
    EXPECT_GE(ms, RESTART_TIMEOUT_MS);
    EXPECT_EQ(bus.Submissions(0), 2u);
    EXPECT_EQ(bus.Discards(0), 1);
}

TEST_F(LibusbExchangeTest, UnpluggedScaleFailsEveryExchangeWithoutWaiting) {
    Queue({2, 60, 0, 0x02, 0, 0, 0, 0});
    ASSERT_TRUE(link.ReadStatus());
    {
        UmockdevBus::ModelAccess hold(bus);
        scale->Unplug();
    }
    double ms = 0;
    EXPECT_FALSE(Timed([&] { return link.ReadStatus(); }, ms));
    EXPECT_LT(ms, READ_STATUS_TIMEOUT_MS);
    EXPECT_EQ(link.ReadWeight(), std::nullopt);
    EXPECT_FALSE(link.SendLimits({}, LIMITS_AFTER_SAVE_TIMEOUT_MS));
    EXPECT_FALSE(link.SendRestart());
    link.Close();
}

// The simulated scale over the bus: its cycle and its sorted items reach
// the link like on the emulated driver.
TEST(LibusbSimulatedScaleTest, CycleAndItemsArrive) {
    sim::SimulatedScaleOptions options;
    options.syncDuration = 10'000;
    options.tareDuration = 10'000;
    options.itemsPerSecond = 200;
    auto scale = std::make_shared<sim::SimulatedScale>(options);
    UmockdevBus bus;
    bus.Plug(Device(scale));
    LibusbScaleLink link;
    ASSERT_EQ(link.FindScale(), scale::FindResult::Ok);
    ASSERT_EQ(link.ConfigureScale(), scale::ConfigureResult::Ok);
    ASSERT_TRUE(link.SendLimits({255, 255, 255, 255, 255, 255, 255, 255}, LIMITS_AFTER_SAVE_TIMEOUT_MS));
    std::vector<std::uint8_t> states;
    int items = 0;
    for (int i = 0; i < 40 && items < 5; ++i) {
        if (!link.ReadStatus()) continue;
        states.push_back(link.StatusPacket()[0]);
        // Every limit 255: each item goes to line 1.
        if (link.StatusPacket()[0] == sim::SimulatedScale::STATE_WORKING && link.StatusPacket()[3] == 0x01) ++items;
    }
    EXPECT_EQ(items, 5);
    ASSERT_GE(states.size(), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(states.begin(), states.begin() + 3), std::vector<std::uint8_t>({0, 1, 2}));
    UmockdevBus::ModelAccess hold(bus);
    EXPECT_TRUE(scale->LimitsReceived());
}

}  // namespace
