// Once warmed up, the periodic work must not touch the heap: a work-mode
// tick, a test-mode tick and every exchange with the scale reuse the
// buffers, texts and kernel records that already exist.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/ControlIds.h"
#include "scale/WorkMode.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using testing_support::AllocationScope;

class SteadyStateAllocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatedScaleOptions options;
        options.seed = 7;
        options.itemsPerSecond = 10.0;
        options.itemJitter = 0.0;
        scale_ = &bench.AttachSimulated(options);
        bench.StoreCalibration(2.0f, {140, 164, 180, 192, 204, 220, 244, 800});
        bench.StartUp();
        ASSERT_EQ(bench.link.ScaleIndex(), 0);
    }
    // Ticks `count` times, counting the allocations of the last `measured`.
    std::uint64_t Ticks(int timer, int count, int measured) {
        for (int i = 0; i < count - measured; ++i) bench.Tick(timer);
        AllocationScope scope;
        for (int i = 0; i < measured; ++i) bench.Tick(timer);
        return scope.Allocations();
    }
    std::uint32_t Total() { return bench.dialog.Values().statistics.totalCount; }

    testing_support::ScaleTestBench bench;
    sim::SimulatedScale* scale_ = nullptr;
};

TEST_F(SteadyStateAllocationTest, WorkTicksWithAnItemOrATimedOutReadAllocateNothing) {
    bench.Press(platform::IDC_START_WORK);
    // Sync and tares take 2.5 s; then items flow and every text has been
    // formatted at least once.
    EXPECT_EQ(Ticks(platform::TIMER_WORK, 2600, 2000), 0u);
    EXPECT_GE(Total(), 2200u) << "items were read, counted and shown";
    EXPECT_EQ(bench.window.texts[platform::IDC_TOTAL_COUNT], std::to_string(Total()));

    scale_->SetPaused(true, bench.clock.Now());
    const std::uint32_t before = Total();
    const sim::Time start = bench.clock.Now();
    EXPECT_EQ(Ticks(platform::TIMER_WORK, 520, 500), 0u);
    EXPECT_LE(Total() - before, 20u) << "only what was queued before the pause";
    EXPECT_GE(bench.clock.Now() - start, 500 * 200'000) << "each tick waited out its read";
    EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
}

TEST_F(SteadyStateAllocationTest, TestModeTickAllocatesNothing) {
    bench.Press(platform::IDC_START_TEST);
    for (int i = 0; i < 50; ++i) bench.Tick(platform::TIMER_TEST);
    scale_->SetReferenceOn(true, bench.clock.Now());
    EXPECT_EQ(Ticks(platform::TIMER_TEST, 1005, 1000), 0u);
    // The reference weight (95 counts) over the empty platter reads 190 g.
    EXPECT_EQ(bench.window.texts[platform::IDC_GRAMS], "190");
}

// Every exchange the link has, on its success and its failure path, after
// one warm-up call.
TEST_F(SteadyStateAllocationTest, EveryLinkExchangeAllocatesNothing) {
    scale::ScaleLink& link = bench.link;
    sim::SimulatedScaleFaults noAnswer;
    noAnswer.noAnswer = true;
    sim::SimulatedScaleFaults stall;
    stall.stall = true;
    struct Case {
        std::string name;
        std::function<void()> prepare;  // before the warm-up and each call
        std::function<bool()> exchange;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"ReadWeight", [] {}, [&] { return link.ReadWeight().has_value(); }, true},
        {"SendLimits", [] {}, [&] { return link.SendLimits({70, 82, 90, 96, 102, 110, 122, 255}, 200); }, true},
        {"SendRestart", [] {}, [&] { return link.SendRestart(); }, true},
        // Each restart makes the scale answer with a state packet.
        {"ReadStatus with a packet", [&] { EXPECT_TRUE(link.SendRestart()); }, [&] { return link.ReadStatus(); }, true},
        {"ReadStatus timed out",
         [&] {
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
        for (int i = 0; i < 100; ++i) {
            c.prepare();
            AllocationScope scope;
            const bool result = c.exchange();
            ASSERT_EQ(result, c.expected) << "call " << i;
            if (i > 0) {
                ASSERT_EQ(scope.Allocations(), 0u) << "call " << i;
            }
        }
        EXPECT_EQ(bench.kernel.PendingRequestCount(), 0u);
    }
}

}  // namespace
