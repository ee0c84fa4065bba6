// A whole day of production in virtual time at one item per 100 ms tick, the
// highest rate the protocol allows, through the real link, the emulated
// driver and the main window's timer handling: every item counted once on
// its line, kilograms to the displayed hundredth, heap and kernel flat.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdlib>
#include <memory>

#include "platform/ControlIds.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using testing_support::AllocationScope;
using testing_support::ScaleTestBench;

// Passes the simulated scale through and keeps, per line, the items and the
// sum of their weights in counts that the host actually took.
class DeliveryRecorder final : public sim::DeviceModel {
public:
    explicit DeliveryRecorder(std::shared_ptr<sim::SimulatedScale> scale) : scale_(std::move(scale)) {}

    std::array<std::uint8_t, 18> DeviceDescriptor() const override { return scale_->DeviceDescriptor(); }
    std::uint16_t DriverInterfaceVersion() const override { return scale_->DriverInterfaceVersion(); }
    std::uint32_t SetConfiguration(std::uint16_t index, const sim::InterfaceSetting* settings,
                                   std::uint16_t count) override {
        return scale_->SetConfiguration(index, settings, count);
    }
    bool HasEndpoint(std::uint8_t address) const override { return scale_->HasEndpoint(address); }
    sim::TransferOutcome Write(std::uint8_t endpoint, const std::uint8_t* data, std::uint32_t size,
                               sim::Time now) override {
        return scale_->Write(endpoint, data, size, now);
    }
    bool TakePacket(std::uint8_t endpoint, sim::Time now, sim::Packet& packet) override {
        if (!scale_->TakePacket(endpoint, now, packet)) return false;
        const std::uint8_t lineByte = packet.bytes[3];
        if (packet.size >= 4 && packet.bytes[0] == 2 && lineByte != 0 && (lineByte & (lineByte - 1)) == 0) {
            const int line = std::countr_zero(lineByte);
            ++items[static_cast<std::size_t>(line)];
            weightCounts[static_cast<std::size_t>(line)] += packet.bytes[1];
        }
        return true;
    }
    std::optional<sim::Time> NextEventTime(sim::Time now) const override { return scale_->NextEventTime(now); }
    void OnCancel(std::uint8_t endpoint, sim::Time now) override { scale_->OnCancel(endpoint, now); }
    bool Unplugged() const override { return scale_->Unplugged(); }

    std::array<std::uint64_t, 8> items{};
    std::array<std::uint64_t, 8> weightCounts{};

private:
    std::shared_ptr<sim::SimulatedScale> scale_;
};

double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

TEST(Shift, TwentyFourHoursAtOneItemPerTickCountEveryItemExactlyAndStayFlat) {
    constexpr sim::Time PERIOD = 100'000;
    constexpr sim::Time WARM_UP = 10LL * 60 * 1'000'000;
    constexpr sim::Time SHIFT = 24LL * 3600 * 1'000'000;
    constexpr float FACTOR = 2.0f;
    sim::SimulatedScaleOptions options;
    options.seed = 24;
    options.itemsPerSecond = 10.0;
    options.itemJitter = 0.0;  // one item per period exactly
    auto scale = std::make_shared<sim::SimulatedScale>(options);
    auto recorder = std::make_shared<DeliveryRecorder>(scale);

    ScaleTestBench bench;
    bench.kernel.AttachDevice(std::make_shared<sim::UsbioDriver>(recorder));
    // Limits that spread the items over all eight lines.
    bench.StoreCalibration(FACTOR, {150, 170, 182, 190, 200, 210, 230, 800});
    bench.StartUp();
    ASSERT_TRUE(bench.link.SendLimits({75, 85, 91, 95, 100, 105, 115, 255}, 200));
    bench.Press(platform::IDC_START_WORK);
    ASSERT_TRUE(bench.window.TimerRunning(platform::TIMER_WORK));

    // A tick that waited is followed by the next one at the next period.
    const sim::Time start = bench.clock.Now();
    const auto runUntil = [&](sim::Time end) {
        while (bench.clock.Now() - start < end) {
            const sim::Time now = bench.clock.Now();
            bench.clock.Advance((now / PERIOD + 1) * PERIOD - now);
            bench.dialog.OnTimer(platform::TIMER_WORK);
        }
    };
    runUntil(WARM_UP);
    const std::size_t handles = bench.kernel.HandleCount();
    const std::size_t events = bench.kernel.EventCount();
    const std::int64_t live = testing_support::LiveAllocations();
    AllocationScope scope;
    runUntil(WARM_UP + SHIFT);
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(testing_support::LiveAllocations(), live);
    EXPECT_EQ(bench.kernel.HandleCount(), handles);
    EXPECT_EQ(bench.kernel.EventCount(), events);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);

    // One item per tick, none lost on the way.
    EXPECT_EQ(scale->ItemsDropped(), 0u);
    EXPECT_GE(scale->ItemsProduced(), static_cast<std::uint64_t>((WARM_UP + SHIFT) / PERIOD) - 30);
    EXPECT_EQ(scale->LineDelivered(), scale->LineTotals());
    const scale::LineStatistics& statistics = bench.dialog.Values().statistics;
    std::uint64_t items = 0;
    double kilograms = 0.0;
    for (std::size_t line = 0; line < 8; ++line) {
        SCOPED_TRACE("line " + std::to_string(line + 1));
        EXPECT_EQ(statistics.lineCount[line], scale->LineDelivered()[line]);
        EXPECT_EQ(statistics.lineCount[line], recorder->items[line]);
        EXPECT_GT(statistics.lineCount[line], 1000u) << "the limits should spread the items";
        EXPECT_EQ(bench.window.texts[platform::IDC_LINE_COUNT_1 + static_cast<int>(line)],
                  std::to_string(recorder->items[line]));
        // Whole grams, exactly: counts x 2.0 g.
        const double expected = static_cast<double>(recorder->weightCounts[line]) * FACTOR / 1000.0;
        EXPECT_NEAR(statistics.lineKilograms[line], expected, 1e-6);
        EXPECT_NEAR(Number(bench.window.texts[platform::IDC_LINE_KILOGRAMS_1 + static_cast<int>(line)]), expected,
                    0.005 + 1e-9);
        items += recorder->items[line];
        kilograms += expected;
    }
    EXPECT_EQ(statistics.totalCount, items);
    EXPECT_NEAR(statistics.totalKilograms, kilograms, 1e-6);
    EXPECT_NEAR(Number(bench.window.texts[platform::IDC_TOTAL_KILOGRAMS]), kilograms, 0.005 + 1e-9);
}

}  // namespace
