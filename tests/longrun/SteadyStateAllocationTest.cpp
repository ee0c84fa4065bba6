// Once warmed up, the periodic work must not touch the heap: work-mode and
// test-mode ticks with and without an answer reuse what already exists.
#include <gtest/gtest.h>

#include "platform/ControlIds.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"

namespace {

class SteadyStateAllocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatedScaleOptions options;
        options.seed = 7;
        options.itemsPerSecond = 10.0;
        options.itemJitter = 0.0;  // one item per period exactly
        scale_ = &bench.AttachSimulated(options);
        bench.StoreCalibration(2.0f, {140, 164, 180, 192, 204, 220, 244, 800});
        bench.StartUp();
    }
    // Ticks `count` times, counting the allocations of the last `measured`.
    std::uint64_t Ticks(int timer, int count, int measured) {
        for (int i = 0; i < count - measured; ++i) bench.Tick(timer);
        testing_support::AllocationScope scope;
        for (int i = 0; i < measured; ++i) bench.Tick(timer);
        return scope.Allocations();
    }
    std::uint32_t Total() { return bench.dialog.Values().statistics.totalCount; }

    testing_support::ScaleTestBench bench;
    sim::SimulatedScale* scale_ = nullptr;
};

TEST_F(SteadyStateAllocationTest, WorkTicksWithAnItemOrATimedOutReadAllocateNothing) {
    bench.Press(platform::IDC_START_WORK);
    // Sync and tares take 2.5 s; then every text has been formatted once.
    EXPECT_EQ(Ticks(platform::TIMER_WORK, 2600, 2000), 0u);
    EXPECT_GE(Total(), 2200u) << "items were read, counted and shown";
    scale_->SetPaused(true, bench.clock.Now());
    const std::uint32_t before = Total();
    const sim::Time start = bench.clock.Now();
    EXPECT_EQ(Ticks(platform::TIMER_WORK, 520, 500), 0u);
    EXPECT_LE(Total() - before, 20u) << "only what was queued before the pause";
    EXPECT_GE(bench.clock.Now() - start, 500 * 200'000) << "each tick waited out its read";
}

TEST_F(SteadyStateAllocationTest, TestModeTicksAllocateNothing) {
    bench.Press(platform::IDC_START_TEST);
    scale_->SetReferenceOn(true, bench.clock.Now());
    EXPECT_EQ(Ticks(platform::TIMER_TEST, 100, 50), 0u);
    EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], "190");  // 95 counts over the empty platter
    sim::SimulatedScaleFaults noAnswer;
    noAnswer.noAnswer = true;
    scale_->SetFaults(noAnswer, bench.clock.Now());
    EXPECT_EQ(Ticks(platform::TIMER_TEST, 100, 50), 0u);
    EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], "");
}

}  // namespace
