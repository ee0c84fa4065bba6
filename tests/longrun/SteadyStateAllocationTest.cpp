// Once the program has warmed up, its periodic work must not touch the heap:
// a work-mode tick, a test-mode tick and every exchange with the scale reuse
// the buffers, texts and kernel records that already exist. Measured with the
// allocation counter on the whole program below the front-end, on the
// simulated scale with a virtual clock.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "scale/ControlIds.h"
#include "scale/WorkMode.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using testing_support::AllocationScope;
using testing_support::ScaleTestBench;

constexpr std::array<std::int16_t, 8> LIMITS = {140, 164, 180, 192, 204, 220, 244, 800};

class SteadyStateAllocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatedScaleOptions options;
        options.seed = 7;
        options.itemsPerSecond = 10.0;
        options.itemJitter = 0.0;
        scale_ = &bench.AttachSimulated(options);
        bench.StoreCalibration(2.0f, LIMITS);
        bench.StartUp();
        ASSERT_EQ(bench.link.ScaleIndex(), 0);
        ASSERT_EQ(bench.program.calibrationFactor, 2.0f);
    }

    void StartWorkAndWarmUp() {
        bench.Press(scale::IDC_START_WORK);
        ASSERT_TRUE(bench.window.TimerRunning(scale::TIMER_WORK));
        // Sync and tares take 2.5 s; then items flow and every text the
        // window shows has been formatted at least once.
        for (int i = 0; i < 600; ++i) bench.Tick(scale::TIMER_WORK);
        ASSERT_GT(bench.dialog.Values().statistics.totalCount, 300u);
    }

    ScaleTestBench bench;
    sim::SimulatedScale* scale_ = nullptr;
};

TEST_F(SteadyStateAllocationTest, WorkTickWithAnItemAllocatesNothing) {
    StartWorkAndWarmUp();
    const std::uint32_t before = bench.dialog.Values().statistics.totalCount;
    AllocationScope scope;
    for (int i = 0; i < 2000; ++i) bench.Tick(scale::TIMER_WORK);
    EXPECT_EQ(scope.Allocations(), 0u);
    // Not a vacuous loop: items were read, counted and shown.
    const auto& statistics = bench.dialog.Values().statistics;
    EXPECT_GE(statistics.totalCount - before, 1990u);
    EXPECT_EQ(bench.window.texts[scale::IDC_TOTAL_COUNT], statistics.totalCountText);
}

TEST_F(SteadyStateAllocationTest, WorkTickWhoseReadTimesOutAllocatesNothing) {
    StartWorkAndWarmUp();
    scale_->SetPaused(true, bench.clock.Now());
    for (int i = 0; i < 20; ++i) bench.Tick(scale::TIMER_WORK);  // what was queued is read
    ASSERT_EQ(scale_->QueuedPackets(), 0u);
    const std::uint32_t before = bench.dialog.Values().statistics.totalCount;
    const sim::Time start = bench.clock.Now();
    AllocationScope scope;
    for (int i = 0; i < 500; ++i) bench.Tick(scale::TIMER_WORK);
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(bench.dialog.Values().statistics.totalCount, before);
    // Each tick waited out its 100 ms and cancelled the read.
    EXPECT_GE(bench.clock.Now() - start, 500 * 200'000);
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
}

TEST_F(SteadyStateAllocationTest, TestModeTickAllocatesNothing) {
    bench.Press(scale::IDC_START_TEST);
    ASSERT_TRUE(bench.window.TimerRunning(scale::TIMER_TEST));
    for (int i = 0; i < 50; ++i) bench.Tick(scale::TIMER_TEST);
    scale_->SetReferenceOn(true, bench.clock.Now());
    for (int i = 0; i < 5; ++i) bench.Tick(scale::TIMER_TEST);
    AllocationScope scope;
    for (int i = 0; i < 1000; ++i) bench.Tick(scale::TIMER_TEST);
    EXPECT_EQ(scope.Allocations(), 0u);
    // The reference weight (95 counts) over the empty platter reads 190 g.
    EXPECT_EQ(bench.dialog.Values().gramsText, "190");
    EXPECT_EQ(bench.window.texts[scale::IDC_GRAMS], "190");
}

// Every exchange the link has, each on its success path and on its failure
// path, after one warm-up call.
TEST_F(SteadyStateAllocationTest, EveryLinkExchangeAllocatesNothing) {
    scale::ScaleLink& link = bench.link;
    const std::array<std::uint8_t, 8> counts = {70, 82, 90, 96, 102, 110, 122, 255};
    sim::SimulatedScaleFaults noAnswer;
    noAnswer.noAnswer = true;
    sim::SimulatedScaleFaults stall;
    stall.stall = true;

    struct Case {
        std::string name;
        std::function<void()> prepare;
        std::function<bool()> exchange;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"ReadWeight", [] {}, [&] { return link.ReadWeight().has_value(); }, true},
        {"SendLimits", [] {}, [&] { return link.SendLimits(counts, 200); }, true},
        {"SendRestart", [] {}, [&] { return link.SendRestart(); }, true},
        // Restarts keep the scale in its cycle's first states: each one
        // answers with a state packet.
        {"ReadStatus with a packet", [&] { link.SendRestart(); }, [&] { return link.ReadStatus(); }, true},
        {"ReadStatus timed out", [&] {
             // Paused and past its cycle's state changes, the scale has
             // nothing more to say once its queue is read.
             scale_->SetPaused(true, bench.clock.Now());
             bench.clock.Advance(5'000'000);
             while (link.ReadStatus()) {
             }
         },
         [&] { return link.ReadStatus(); }, false},
        {"ReadWeight unanswered", [&] { scale_->SetFaults(noAnswer, bench.clock.Now()); },
         [&] { return link.ReadWeight().has_value(); }, false},
        {"SendRestart stalled", [&] { scale_->SetFaults(stall, bench.clock.Now()); },
         [&] { return link.SendRestart(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        ASSERT_EQ(c.exchange(), c.expected);  // warm-up
        for (int i = 0; i < 100; ++i) {
            if (c.name == "ReadStatus with a packet") link.SendRestart();
            AllocationScope scope;
            const bool result = c.exchange();
            ASSERT_EQ(result, c.expected) << "call " << i;
            ASSERT_EQ(scope.Allocations(), 0u) << "call " << i;
        }
        EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
    }
}

}  // namespace
