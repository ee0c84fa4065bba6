// Each system call of the connect sequence failed in turn: its step's box, the steps in order, nothing left.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/AllocationCounter.h"
#include "tests/support/ConnectResults.h"
#include "tests/support/ProgramBoxes.h"
#include "tests/support/ScaleTestBench.h"

namespace {

using namespace testing_support::boxes;
using platform::DWORD;
using testing_support::ScaleTestBench;
using S = testing_support::Situation;

// What the platform would plausibly say when each call fails.
DWORD PlausibleError(const std::string& call) {
    if (call == "SetupDiGetClassDevsA" || call == "SetupDiGetDeviceInterfaceDetailA" || call == "CreateEventA")
        return platform::ERROR_NOT_ENOUGH_MEMORY;
    if (call == "SetupDiEnumDeviceInterfaces") return platform::ERROR_NO_MORE_ITEMS;  // unplugged meanwhile
    if (call == "CreateFileA") return 5;  // access denied: another program holds the device
    if (call == "CloseHandle" || call == "SetupDiDestroyDeviceInfoList") return platform::ERROR_INVALID_HANDLE;
    return 31;  // a device attached to the system is not functioning
}

// Starts up with the nth call failed (0: none), then exits: whether the start-up ended, and what is left.
auto StartUpAndExit(ScaleTestBench& b, std::size_t nth, DWORD error, std::vector<std::string>* calls = nullptr) {
    b.AttachSimulated();
    b.StoreCalibration(2.0f, {});
    b.kernel.SetFaultHook([&, seen = std::size_t{0}](const char* call) mutable {
        if (calls != nullptr) calls->emplace_back(call);
        return ++seen == nth ? error : 0;
    });
    b.StartUp();
    b.kernel.SetFaultHook(nullptr);
    const bool ended = b.window.closed.has_value();
    if (!ended) b.Press(ui::IDC_EXIT);
    return std::pair(ended, std::tuple(b.kernel.HandleCount(), b.kernel.EventCount(), b.kernel.DeviceHandleCount(),
                                       b.kernel.PendingRequestCount() + b.kernel.ListCount()));
}

TEST(ConnectFaultTest, EachFailedCallEndsInItsStepsBoxAndLeavesNothing) {
    std::vector<std::string> calls;
    ScaleTestBench clean;
    const auto held = StartUpAndExit(clean, 0, 0, &calls).second;
    EXPECT_GE(calls.size(), 20u);  // each step reaches the system
    const auto& rows = testing_support::ConnectRows();
    std::vector<S> steps;         // the row each failed call ended in, repeats folded
    steps.reserve(calls.size());  // not to count its own growth as a leak
    for (std::size_t k = 1; k <= calls.size(); ++k) {
        SCOPED_TRACE("call " + std::to_string(k) + " " + calls[k - 1]);
        const bool refused = calls[k - 1] == "CloseHandle";
        const std::int64_t allocations = testing_support::LiveAllocations();
        {
            ScaleTestBench b;
            auto [ended, left] = StartUpAndExit(b, k, PlausibleError(calls[k - 1]));
            // A failed call of the limits' send that ends a good start-up has its own box after.
            ASSERT_FALSE(b.window.messages.empty());
            const Boxes after(b.window.messages.begin() + 1, b.window.messages.end());
            EXPECT_TRUE(after.empty() || after == Boxes{LIMITS_NOT_SENT}) << ::testing::PrintToString(after);
            const auto row =
                std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.box == b.window.messages[0]; });
            ASSERT_NE(row, rows.end());
            EXPECT_EQ(ended, row->ends);
            if (steps.empty() || steps.back() != row->situation) steps.push_back(row->situation);
            EXPECT_FALSE(b.device.IsOpen() || b.readPipe.IsOpen() || b.writePipe.IsOpen());
            EXPECT_EQ(b.link.DeviceList(), nullptr);
            EXPECT_EQ(std::get<0>(left), std::get<0>(held) + refused);
            if (refused) continue;  // the one handle the system refused to close is all that is left
            EXPECT_EQ(left, held);
        }
        EXPECT_EQ(testing_support::LiveAllocations(), allocations);
    }
    // A candidate that the system refuses to close is not the link's concern.
    EXPECT_EQ(steps, (std::vector<S>{S::ListRefused, S::NoDevice, S::ForeignDevices, S::ScalesAfterForeign,
                                     S::OpenRefused, S::ConfigurationRefused, S::NoReadEndpoint, S::NoWriteEndpoint,
                                     S::ScalesAfterForeign}));  // then the limits' send
}

}  // namespace
