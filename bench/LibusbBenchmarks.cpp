// One exchange on the libusb road against the umockdev bus (Linux only).
// Unlike quelmar_bench this waits for real: libusb polls the device node
// and the bus answers from another thread of this process.
//
// Counters per exchange, all on the benchmark's own thread:
//   mallocs      every malloc/calloc/realloc call, from whatever library;
//   by_libusb    those whose caller is in libusb-1.0;
//   by_cxx       those from libstdc++ (operator new: the program's own C++
//                code, the only C++ on this thread during the loop);
//   by_umockdev  those from umockdev's preload library, the stand-in for the
//                kernel's usbfs, which a real device does not have.
// The malloc family is replaced in this program only and forwards to the C
// library's allocator.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <link.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "scale/ScaleLink.h"
#include "scale/libusb/LibusbScaleLink.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/UmockdevScale.h"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);

namespace {

enum Origin { ORIGIN_LIBUSB, ORIGIN_CXX, ORIGIN_UMOCKDEV, ORIGIN_COUNT };

struct Range {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
};
Range g_ranges[ORIGIN_COUNT];
thread_local std::uint64_t t_mallocs = 0;
thread_local std::uint64_t t_byOrigin[ORIGIN_COUNT] = {};

void Count(const void* caller) {
    ++t_mallocs;
    const auto address = reinterpret_cast<std::uintptr_t>(caller);
    for (int origin = 0; origin < ORIGIN_COUNT; ++origin)
        if (address >= g_ranges[origin].start && address < g_ranges[origin].end) ++t_byOrigin[origin];
}

// The text of each library of interest, from the loaded objects.
void FindLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const char* name = info->dlpi_name;
            int origin = -1;
            if (std::strstr(name, "libusb-1.0") != nullptr) origin = ORIGIN_LIBUSB;
            if (std::strstr(name, "libstdc++") != nullptr) origin = ORIGIN_CXX;
            if (std::strstr(name, "libumockdev-preload") != nullptr) origin = ORIGIN_UMOCKDEV;
            if (origin < 0) return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
                g_ranges[origin].start = info->dlpi_addr + segment.p_vaddr;
                g_ranges[origin].end = g_ranges[origin].start + segment.p_memsz;
            }
            return 0;
        },
        nullptr);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    Count(__builtin_return_address(0));
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Count(__builtin_return_address(0));
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    Count(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

namespace {

using testing_support::FakeUsbDevice;
using testing_support::UmockdevBus;

struct Rig {
    Rig() {
        FakeUsbDevice device;
        device.model = scale;
        bus.Plug(device);
        connected = link.FindScale() == scale::FindResult::Ok && link.ConfigureScale() == scale::ConfigureResult::Ok;
    }
    // Enough replies queued for every iteration, so the loop never stops to
    // refill.
    void QueueReplies(benchmark::IterationCount count) {
        UmockdevBus::ModelAccess hold(bus);
        for (benchmark::IterationCount i = 0; i < count + 1; ++i) scale->QueuePacket({2, 95, 0, 0x01, 0, 0, 0, 0});
    }

    std::shared_ptr<sim::ScriptedDevice> scale = std::make_shared<sim::ScriptedDevice>();
    UmockdevBus bus;
    scale::LibusbScaleLink link;
    bool connected = false;
};

template <typename Exchange>
void Measure(benchmark::State& state, bool replies, Exchange exchange) {
    FindLibraries();
    Rig rig;
    if (!rig.connected) {
        state.SkipWithError("the scale on the umockdev bus did not connect");
        return;
    }
    if (replies) rig.QueueReplies(state.max_iterations);
    exchange(rig.link);  // warm-up: libusb's first event loop sets itself up
    const std::uint64_t mallocs = t_mallocs;
    std::uint64_t byOrigin[ORIGIN_COUNT];
    std::memcpy(byOrigin, t_byOrigin, sizeof byOrigin);
    bool ok = true;
    for (auto _ : state) ok = exchange(rig.link) && ok;
    if (!ok) state.SkipWithError("an exchange failed");
    const double n = static_cast<double>(state.iterations());
    state.counters["mallocs"] = static_cast<double>(t_mallocs - mallocs) / n;
    state.counters["by_libusb"] = static_cast<double>(t_byOrigin[ORIGIN_LIBUSB] - byOrigin[ORIGIN_LIBUSB]) / n;
    state.counters["by_cxx"] = static_cast<double>(t_byOrigin[ORIGIN_CXX] - byOrigin[ORIGIN_CXX]) / n;
    state.counters["by_umockdev"] = static_cast<double>(t_byOrigin[ORIGIN_UMOCKDEV] - byOrigin[ORIGIN_UMOCKDEV]) / n;
}

void BM_Libusb_ReadStatus_Packet(benchmark::State& state) {
    Measure(state, true, [](scale::LibusbScaleLink& link) { return link.ReadStatus(); });
}
// No packet: the 100 ms wait, the cancellation and its end. CPU against
// wall time shows whether libusb sleeps in poll or spins.
void BM_Libusb_ReadStatus_TimeOut(benchmark::State& state) {
    Measure(state, false, [](scale::LibusbScaleLink& link) { return !link.ReadStatus(); });
}
void BM_Libusb_ReadWeight(benchmark::State& state) {
    Measure(state, true, [](scale::LibusbScaleLink& link) { return link.ReadWeight().has_value(); });
}
void BM_Libusb_SendRestart(benchmark::State& state) {
    Measure(state, false, [](scale::LibusbScaleLink& link) { return link.SendRestart(); });
}

// The floor: one usbfs request answered by the bus (get-capabilities), with
// neither libusb nor the link around it. An exchange makes three or four.
void BM_Floor_UmockdevIoctl(benchmark::State& state) {
    Rig rig;
    const int fd = open("/dev/bus/usb/001/002", O_RDWR | O_CLOEXEC);
    std::uint32_t capabilities = 0;
    bool ok = fd >= 0;
    for (auto _ : state) ok = ioctl(fd, USBDEVFS_GET_CAPABILITIES, &capabilities) == 0 && ok;
    if (!ok) state.SkipWithError("the bus did not answer");
    if (fd >= 0) close(fd);
}

// The CPU column is this thread's; the _Process rows add the bus's threads
// (umockdev's handler and the bus's clock), that is, the fake kernel.
BENCHMARK(BM_Floor_UmockdevIoctl)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_ReadStatus_Packet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_ReadStatus_Packet)
    ->Name("BM_Libusb_ReadStatus_Packet_Process")
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_ReadStatus_TimeOut)->Iterations(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_ReadStatus_TimeOut)
    ->Name("BM_Libusb_ReadStatus_TimeOut_Process")
    ->MeasureProcessCPUTime()
    ->Iterations(10)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_ReadWeight)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Libusb_SendRestart)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
