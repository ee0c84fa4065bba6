// A virtual day at the top rate through link, driver and timers: counts exact, heap flat.
#include <gtest/gtest.h>

#include "ui/ControlIds.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"

namespace {

TEST(Shift, TwentyFourHoursAtOneItemPerTickCountEveryItemOnceAndNoTickAllocates) {
    constexpr sim::Time PERIOD = 100'000;
    constexpr sim::Time WARM_UP = 10LL * 60 * 1'000'000;
    constexpr sim::Time SHIFT = 24LL * 3600 * 1'000'000;
    sim::SimulatedScaleOptions options;
    options.seed = 24, options.itemsPerSecond = 10.0, options.itemJitter = 0.0;  // one item per period exactly
    testing_support::ScaleTestBench bench;
    sim::SimulatedScale& scale = bench.AttachSimulated(options);
    bench.StoreCalibration(2.0f, {});
    bench.StartUp();
    // Limits that spread the items over all eight lines.
    ASSERT_TRUE(bench.link.SendLimits({75, 85, 91, 95, 100, 105, 115, 255}, 200));
    bench.Press(ui::IDC_START_WORK);

    // A tick that waited is followed by the next one at the next period.
    const sim::Time start = bench.clock.Now();
    const auto runUntil = [&](sim::Time end) {
        while (bench.clock.Now() - start < end) {
            const sim::Time now = bench.clock.Now();
            bench.clock.Advance((now / PERIOD + 1) * PERIOD - now);
            bench.dialog.OnTimer(ui::TIMER_WORK);
        }
    };
    runUntil(WARM_UP);
    const auto held = [&] { return std::tuple(bench.kernel.HandleCount(), bench.kernel.EventCount()); };
    const auto before = held();
    testing_support::AllocationScope scope;
    runUntil(WARM_UP + SHIFT);
    EXPECT_EQ(std::tuple(scope.Allocations(), held(), bench.kernel.PendingRequestCount()), std::tuple(0u, before, 0u));

    EXPECT_EQ(scale.ItemsDropped(), 0u);
    EXPECT_GE(scale.ItemsProduced(), static_cast<std::uint64_t>((WARM_UP + SHIFT) / PERIOD) - 30);
    EXPECT_EQ(scale.LineDelivered(), scale.LineTotals());
    const scale::LineStatistics& statistics = bench.dialog.Values().statistics;
    std::uint64_t items = 0;
    for (std::size_t line = 0; line < 8; ++line) {
        EXPECT_EQ(statistics.lineCount[line], scale.LineDelivered()[line]) << line;
        EXPECT_GT(statistics.lineCount[line], 1000u) << "the limits should spread the items";
        items += scale.LineDelivered()[line];
    }
    EXPECT_EQ(statistics.totalCount, items);
    EXPECT_EQ(bench.window.texts[ui::IDC_TOTAL_COUNT], std::to_string(items));

    // No item for a while: each tick waits out its read, with no allocation.
    scale.SetPaused(true, bench.clock.Now());
    const auto ticks = [&](int timer, int count, int measured) {
        for (int i = 0; i < count - measured; ++i) bench.Tick(timer);
        testing_support::AllocationScope measuring;
        for (int i = 0; i < measured; ++i) bench.Tick(timer);
        return measuring.Allocations();
    };
    const sim::Time idle = bench.clock.Now();
    EXPECT_EQ(ticks(ui::TIMER_WORK, 520, 500), 0u);
    EXPECT_LE(statistics.totalCount - items, 20u) << "only what was queued before the pause";
    EXPECT_GE(bench.clock.Now() - idle, 500 * 200'000) << "each tick waited out its read";
    // Test mode, with a reading and with none.
    scale.SetPaused(false, bench.clock.Now());
    bench.Press(ui::IDC_STOP_WORK);
    bench.Press(ui::IDC_START_TEST);
    scale.SetReferenceOn(true, bench.clock.Now());
    EXPECT_EQ(ticks(ui::TIMER_TEST, 100, 50), 0u);
    EXPECT_EQ(bench.window.texts[ui::IDC_GRAMS], "190");  // 95 counts over the empty platter
    scale.SetFaults({.noAnswer = true, .shortPacketBytes = {}}, bench.clock.Now());
    EXPECT_EQ(ticks(ui::TIMER_TEST, 100, 50), 0u);
    EXPECT_EQ(bench.window.texts[ui::IDC_GRAMS], "");
}

}  // namespace
