// The shift store on the real file system, in a folder under the temporary
// one: a work-mode tick that counts an item, commit and its syncs included
// (its CPU and allocations; TickTiming.cpp times it tick by tick, on both
// builds), and the start-up load of a long shift's database.
//
// `allocs` counts operator new per tick (the program's own code);
// `sqlite_mallocs` counts SQLite's own allocations per tick, through a
// counting allocator installed before SQLite starts.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <memory>

#include "bench/ShiftRig.h"
#include "tests/support/AllocationCounter.h"
#include "ui/ControlIds.h"

namespace {

namespace fs = std::filesystem;

std::atomic<std::uint64_t> sqliteMallocs{0};
sqlite3_mem_methods systemMemory{};

// Installed before main(), before anything starts SQLite.
const bool countingSqlite = [] {
    sqlite3_config(SQLITE_CONFIG_GETMALLOC, &systemMemory);
    static sqlite3_mem_methods counting = systemMemory;
    counting.xMalloc = [](int n) { return ++sqliteMallocs, systemMemory.xMalloc(n); };
    counting.xRealloc = [](void* p, int n) { return ++sqliteMallocs, systemMemory.xRealloc(p, n); };
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &counting) == SQLITE_OK;
}();

using bench::ShiftRig;
using bench::TemporaryFolder;

void BM_WorkTick_PacketWithCommit(benchmark::State& state) {
    TemporaryFolder folder;
    ShiftRig rig(folder.Database());
    if (!countingSqlite || !rig.shift->TakeFailure().empty() || !rig.window.TimerRunning(ui::TIMER_WORK))
        return state.SkipWithError("no store or no scale");
    for (int i = 0; i < 200; ++i) rig.dialog.OnTimer(ui::TIMER_WORK);  // past the first pages' growth
    const std::uint64_t allocations = testing_support::AllocationCount();
    const std::uint64_t mallocs = sqliteMallocs;
    for (auto _ : state) rig.dialog.OnTimer(ui::TIMER_WORK);
    const auto ticks = static_cast<double>(state.iterations());
    state.counters["allocs"] = static_cast<double>(testing_support::AllocationCount() - allocations) / ticks;
    state.counters["sqlite_mallocs"] = static_cast<double>(sqliteMallocs - mallocs) / ticks;
    if (!rig.shift->TakeFailure().empty() || rig.shift->Figures().totalCount != 200 + state.iterations())
        state.SkipWithError("items were not stored");
}
BENCHMARK(BM_WorkTick_PacketWithCommit)->Iterations(3000);

// Start-up with the database of an 8-hour shift at 10 items a second:
// opening, the check of the file, the figures read, and the close.
void BM_StartUpLoad_LongShift(benchmark::State& state) {
    TemporaryFolder folder;
    const std::uint32_t items = 8 * 3600 * 10;
    storage::OpenShiftStore(folder.Database()).reset();  // the program's own schema
    sqlite3* db = nullptr;
    sqlite3_open(folder.Database().c_str(), &db);
    const std::string fill = "BEGIN; WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                             std::to_string(items - 1) +
                             ") INSERT INTO items(line, weight_counts, factor, kilograms)"
                             " SELECT 1 + i % 8, 50 + i % 200, 2.0, (50 + i % 200) * 2.0 / 1000.0 FROM n;"
                             "UPDATE figures SET items = " +
                             std::to_string(items / 8) +
                             ", kilograms = 1234.5 WHERE line > 0;"
                             "UPDATE figures SET items = " +
                             std::to_string(items) + ", kilograms = 9876.0 WHERE line = 0; COMMIT;";
    const bool filled = sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    state.counters["db_MB"] = static_cast<double>(fs::file_size(folder.Database())) / 1e6;
    for (auto _ : state) {
        auto store = storage::OpenShiftStore(folder.Database());
        if (!filled || store->Figures().totalCount != items) return state.SkipWithError("the shift did not load");
    }
}
BENCHMARK(BM_StartUpLoad_LongShift)->Unit(benchmark::kMillisecond);

// The process's resident memory in MB, from /proc (0 where there is none).
double ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

// An 8-hour shift at 10 items a second on the virtual clock, every item
// committed: the memory it leaves. The database sits in /dev/shm where there
// is one, so that the disk's syncs do not make the run last the 8 hours.
void BM_EightHourShift_ResidentMemory(benchmark::State& state) {
    TemporaryFolder folder;
    if (fs::is_directory("/dev/shm")) {
        fs::remove_all(folder.path);
        folder.path = fs::path("/dev/shm") / folder.path.filename();
        fs::create_directories(folder.path);
    }
    ShiftRig rig(folder.Database());
    const double before = ResidentMegabytes();
    for (auto _ : state)
        for (int tick = 0; tick < 8 * 3600 * 10; ++tick) rig.dialog.OnTimer(ui::TIMER_WORK);
    state.counters["rss_before_MB"] = before;
    state.counters["rss_after_MB"] = ResidentMegabytes();
    if (!rig.shift->TakeFailure().empty() || rig.shift->Figures().totalCount != 8 * 3600 * 10)
        state.SkipWithError("items were not stored");
}
BENCHMARK(BM_EightHourShift_ResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
