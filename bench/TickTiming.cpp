// A work-mode tick that counts an item, the shift store's commit and its
// syncs included, timed one by one as the operator waits for it, on the real
// file system: the median and the 99th percentile. A plain program, with no
// benchmark library, so that quelmar.exe's own build runs it under Wine too:
//
//   scripts/measure.sh --benchmarks     natively (with the other benchmarks)
//   scripts/measure.sh --wine           the Windows build, under Wine
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/ShiftRig.h"

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
    const int warmUp = 200;  // past the first pages' growth
    bench::TemporaryFolder folder;
    bench::ShiftRig rig(folder.Database());
    const std::string failure = rig.shift->TakeFailure();
    if (!failure.empty() || !rig.shift->Durable() || !rig.window.TimerRunning(ui::TIMER_WORK)) {
        std::fprintf(stderr, "no shift store or no work mode: %s\n", failure.c_str());
        return 1;
    }
    for (int i = 0; i < warmUp; ++i) rig.dialog.OnTimer(ui::TIMER_WORK);
    std::vector<double> microseconds;
    microseconds.reserve(static_cast<std::size_t>(ticks));
    for (int i = 0; i < ticks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        rig.dialog.OnTimer(ui::TIMER_WORK);
        microseconds.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    if (!rig.shift->TakeFailure().empty() || rig.shift->Figures().totalCount != static_cast<unsigned>(warmUp + ticks)) {
        std::fprintf(stderr, "the items were not all stored\n");
        return 1;
    }
    std::sort(microseconds.begin(), microseconds.end());
    std::printf("work tick that counted an item, commit included (%d ticks, database in %s):\n", ticks,
                folder.path.string().c_str());
    std::printf("  median %.0f us, 99th percentile %.0f us, slowest %.0f us\n", microseconds[microseconds.size() / 2],
                microseconds[microseconds.size() * 99 / 100], microseconds.back());
    return 0;
}
