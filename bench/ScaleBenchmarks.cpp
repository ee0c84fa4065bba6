// CPU cost of the program's periodic work on the emulated driver with a
// virtual clock: a 100 ms time-out costs no wall time here, so what is
// measured is the CPU a tick takes, not the waiting it does.
//
// Every figure is reported three ways: time per operation (Google
// Benchmark's own columns), `x_floor`, the same time as a multiple of the
// emulated driver's bare read measured in this run (ReadFile completing at
// once on the kernel), and `allocs`, heap allocations per operation.
#include <benchmark/benchmark.h>

#include <time.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdint>
#include <memory>

#include "bench/ReadyDevice.h"
#include "ui/ControlIds.h"
#include "scale/WorkMode.h"
#include "sim/UsbioDriver.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/ScaleTestBench.h"
#include "usbio/StatusText.h"

namespace {

using testing_support::AllocationCount;
using testing_support::ScaleTestBench;

double ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The pipe's handle, for calling the kernel the way the pipe does but with
// nothing of the pipe around it.
class ExposedPipe : public usbio::UsbPipe {
public:
    platform::HANDLE Handle() const { return handle_; }
};

// The whole program below the front-end, started up on a ReadyDevice and
// put in work mode.
struct Rig {
    explicit Rig(bench::ReadyDevice::Mode mode, sim::Time delay = 0)
        : device(std::make_shared<bench::ReadyDevice>(mode, delay)) {
        scale.kernel.AttachDevice(std::make_shared<sim::UsbioDriver>(device));
        scale.StoreCalibration(2.0f, {0, 100, 150, 200, 250, 300, 350, 400});
        scale.StartUp();
        scale.Press(ui::IDC_START_WORK);
    }
    bool Connected() const { return scale.link.ScaleIndex() == 0 && scale.window.TimerRunning(ui::TIMER_WORK); }

    std::shared_ptr<bench::ReadyDevice> device;
    ScaleTestBench scale;
};

// A second read pipe of its own on the same device, bound to 0x81.
struct BarePipe {
    explicit BarePipe(Rig& rig) {
        ok = pipe.Bind(0, 0x81, nullptr, nullptr) == usbio::USB_STATUS_SUCCESS;
        overlapped.hEvent = rig.scale.kernel.CreateEventA(nullptr, platform::FALSE_, platform::FALSE_, nullptr);
    }
    ~BarePipe() { platform::Sys().CloseHandle(overlapped.hEvent); }
    BarePipe(const BarePipe&) = delete;
    BarePipe& operator=(const BarePipe&) = delete;

    ExposedPipe pipe;
    platform::OVERLAPPED overlapped{};
    std::array<std::uint8_t, 8> data{};
    bool ok = false;
};

// The floor: CPU per bare read, set by BM_Floor_BareRead (registered first,
// so it runs first) or measured on demand when a filter left it out.
double floorNanoseconds = 0.0;

double MeasureBareRead(int count) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    BarePipe bare(rig);
    platform::DWORD bytes = 0;
    const double start = ThreadCpuNanoseconds();
    for (int i = 0; i < count; ++i)
        platform::Sys().ReadFile(bare.pipe.Handle(), bare.data.data(), 8, &bytes, &bare.overlapped);
    return (ThreadCpuNanoseconds() - start) / count;
}

double FloorNanoseconds() {
    if (floorNanoseconds <= 0.0) floorNanoseconds = MeasureBareRead(200'000);
    return floorNanoseconds;
}

// Runs `operation` in the benchmark loop and adds the counters.
template <typename Operation>
void Measure(benchmark::State& state, Operation operation, bool isFloor = false) {
    const std::uint64_t allocationsBefore = AllocationCount();
    const double start = ThreadCpuNanoseconds();
    for (auto _ : state) operation();
    const double perOperation = (ThreadCpuNanoseconds() - start) / static_cast<double>(state.iterations());
    const std::uint64_t allocations = AllocationCount() - allocationsBefore;
    if (isFloor) floorNanoseconds = perOperation;
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    state.counters["x_floor"] = perOperation / FloorNanoseconds();
}

// ---- the floor: the emulated driver's bare reads --------------------------------

void BM_Floor_BareRead(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    BarePipe bare(rig);
    if (!rig.Connected() || !bare.ok) return state.SkipWithError("no scale");
    platform::DWORD bytes = 0;
    Measure(
        state,
        [&] {
            benchmark::DoNotOptimize(
                platform::Sys().ReadFile(bare.pipe.Handle(), bare.data.data(), 8, &bytes, &bare.overlapped));
        },
        true);
}
BENCHMARK(BM_Floor_BareRead);

// A read that stays pending and completes 50 ms later: ReadFile, the wait,
// and GetOverlappedResult.
void BM_Floor_BareReadPending(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::AfterDelay, 50'000);
    BarePipe bare(rig);
    if (!rig.Connected() || !bare.ok) return state.SkipWithError("no scale");
    platform::SystemCalls& sys = platform::Sys();
    platform::DWORD bytes = 0;
    Measure(state, [&] {
        if (!sys.ReadFile(bare.pipe.Handle(), bare.data.data(), 8, &bytes, &bare.overlapped))
            sys.WaitForSingleObject(bare.overlapped.hEvent, 100);
        benchmark::DoNotOptimize(sys.GetOverlappedResult(bare.pipe.Handle(), &bare.overlapped, &bytes, 0));
    });
}
BENCHMARK(BM_Floor_BareReadPending);

// A read that never gets data: ReadFile, the 100 ms wait running out, the
// cancellation and the wait for it.
void BM_Floor_BareReadTimedOut(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Never);
    BarePipe bare(rig);
    if (!rig.Connected() || !bare.ok) return state.SkipWithError("no scale");
    platform::SystemCalls& sys = platform::Sys();
    platform::DWORD bytes = 0;
    Measure(state, [&] {
        sys.ReadFile(bare.pipe.Handle(), bare.data.data(), 8, &bytes, &bare.overlapped);
        sys.WaitForSingleObject(bare.overlapped.hEvent, 100);
        sys.CancelIoEx(bare.pipe.Handle(), &bare.overlapped);
        sys.WaitForSingleObject(bare.overlapped.hEvent, 1000);
        benchmark::DoNotOptimize(sys.GetOverlappedResult(bare.pipe.Handle(), &bare.overlapped, &bytes, 0));
    });
}
BENCHMARK(BM_Floor_BareReadTimedOut);

// ---- link exchanges -------------------------------------------------------------

void BM_ReadStatus_Packet(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { benchmark::DoNotOptimize(rig.scale.link.ReadStatus()); });
}
BENCHMARK(BM_ReadStatus_Packet);

void BM_ReadStatus_TimeOut(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Never);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { benchmark::DoNotOptimize(rig.scale.link.ReadStatus()); });
}
BENCHMARK(BM_ReadStatus_TimeOut);

void BM_ReadWeight(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { benchmark::DoNotOptimize(rig.scale.link.ReadWeight()); });
}
BENCHMARK(BM_ReadWeight);

// ---- ticks ----------------------------------------------------------------------

// ProcessStatus alone: the read and the counting, without the refresh.
void BM_ProcessStatus_Packet(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { scale::ProcessStatus(rig.scale.dialog.Context()); });
}
BENCHMARK(BM_ProcessStatus_Packet);

// A work-mode tick as the window handles it: ProcessStatus, then ShowFields
// through the window-services double.
void BM_WorkTick_Packet(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { rig.scale.dialog.OnTimer(ui::TIMER_WORK); });
    if (rig.scale.dialog.Values().statistics.totalCount != static_cast<std::uint64_t>(state.iterations()))
        state.SkipWithError("items were not counted");
}
BENCHMARK(BM_WorkTick_Packet);

// A tick whose read times out (100 ms of virtual time) and is cancelled.
void BM_WorkTick_NoPacket(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Never);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { rig.scale.dialog.OnTimer(ui::TIMER_WORK); });
    if (rig.scale.dialog.Values().statistics.totalCount != 0) state.SkipWithError("counted without packets");
}
BENCHMARK(BM_WorkTick_NoPacket);

// A test-mode tick: CMD_READ_WEIGHT out, the reply in, grams and counts
// formatted and the window refreshed.
void BM_TestTick(benchmark::State& state) {
    Rig rig(bench::ReadyDevice::Mode::Always);
    if (!rig.Connected()) return state.SkipWithError("no scale");
    Measure(state, [&] { rig.scale.dialog.OnTimer(ui::TIMER_TEST); });
    if (rig.scale.dialog.Values().countsText != "95") state.SkipWithError("no reading shown");
}
BENCHMARK(BM_TestTick);

// Counting one item alone: the line's and the totals' numbers and their four
// texts, without the read.
void BM_CountItem(benchmark::State& state) {
    scale::LineStatistics statistics;
    int line = 0;
    Measure(state, [&] { scale::CountItem(statistics, line++ % 8 + 1, 95, 2.0f); });
}
BENCHMARK(BM_CountItem);

// The two ways of formatting a kilogram text with two decimals, for the
// analysis of the tick's cost (the same digits: both round exactly).
void BM_FormatKilograms_Snprintf(benchmark::State& state) {
    char text[64];
    double kilograms = 12345.678;
    Measure(state, [&] {
        kilograms += 0.19;
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.2f", kilograms));
    });
}
BENCHMARK(BM_FormatKilograms_Snprintf);

void BM_FormatKilograms_ToChars(benchmark::State& state) {
    char text[64];
    double kilograms = 12345.678;
    Measure(state, [&] {
        kilograms += 0.19;
        benchmark::DoNotOptimize(std::to_chars(text, text + sizeof text, kilograms, std::chars_format::fixed, 2));
    });
}
BENCHMARK(BM_FormatKilograms_ToChars);

// ---- status texts ---------------------------------------------------------------

void BM_StatusText_Timeout(benchmark::State& state) {
    char text[128];
    Measure(state, [&] { benchmark::DoNotOptimize(usbio::StatusText(text, sizeof text, usbio::USB_STATUS_TIMEOUT)); });
}
BENCHMARK(BM_StatusText_Timeout);

// A system error code: the whole table is searched before the fallback.
void BM_StatusText_SystemError(benchmark::State& state) {
    char text[128];
    Measure(state, [&] { benchmark::DoNotOptimize(usbio::StatusText(text, sizeof text, 2)); });
}
BENCHMARK(BM_StatusText_SystemError);

}  // namespace

BENCHMARK_MAIN();
