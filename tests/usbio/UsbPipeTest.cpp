// Pipes and their buffers: binding, the one-transfer-per-buffer rule,
// cancellation and the synchronous transfers; the buffer pool.
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

#include "tests/usbio/UsbioTestBench.h"
#include "usbio/UsbBufferPool.h"

namespace usbio_test {
namespace {

using WriteMode = sim::ScriptedDevice::WriteMode;

using UsbPipeTest = LinkTest;

TEST_F(UsbioTest, ABindCarriesTheEndpointAndAFailedOneLeavesThePipeOpen) {
    Attach();
    UsbPipe pipe;
    EXPECT_EQ(pipe.Bind(0, 0x81, nullptr, nullptr), sim::DRIVER_NOT_CONFIGURED);
    EXPECT_EQ(Driver().RequestLog().back().input, Bytes{0x81});
    EXPECT_TRUE(pipe.IsOpen());
}

// A pool buffer, which the pool must not take back while the platform owns it either.
TEST_F(UsbPipeTest, ASecondTransferOnABusyBufferIsRefusedWithTheReasonAndTheFirstStillCompletes) {
    UsbBufferPool pool;
    ASSERT_TRUE(pool.Allocate(8, 1));
    UsbBuffer& busy = *pool.Get();
    busy.requestedBytes = 8;
    scale->QueuePacket(PACKET, 50 * MS);
    ASSERT_TRUE(readPipe.Read(busy));
    EXPECT_EQ(readPipe.WaitForCompletion(busy, 10), USB_STATUS_TIMEOUT);
    for (const bool read : {true, false}) {
        EXPECT_FALSE(read ? readPipe.Read(busy) : writePipe.Write(busy));
        EXPECT_EQ(busy.completionStatus, USB_STATUS_BUFFER_BUSY);
    }
    EXPECT_EQ(kernel.PendingRequestCount(), 1u);
    EXPECT_FALSE(pool.Put(&busy));
    // A wait is for the transfer the buffer carries, and a time-out cancels nothing.
    EXPECT_EQ(readPipe.WaitForCompletion(busy, 10), USB_STATUS_TIMEOUT);
    EXPECT_EQ(busy.completionStatus, USB_STATUS_PENDING);
    EXPECT_EQ(readPipe.WaitForCompletion(busy, 100), USB_STATUS_SUCCESS);
    EXPECT_TRUE(pool.Put(&busy));
}

TEST_F(UsbPipeTest, CancelTransferAndSyncTimeOutsEndOnlyTheirTransferAndCancelPendingIoOnlyThisThreads) {
    UsbBuffer buffer(8), second(8), others(8);
    for (UsbBuffer* each : {&buffer, &second, &others}) each->requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(buffer));
    ASSERT_TRUE(readPipe.Read(second));
    std::thread([&] { EXPECT_TRUE(readPipe.Read(others)); }).join();
    EXPECT_TRUE(readPipe.CancelTransfer(buffer));
    EXPECT_EQ(readPipe.WaitForCompletion(buffer, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_FALSE(readPipe.CancelTransfer(buffer)) << "nothing left to cancel";
    std::array<std::uint8_t, 8> memory{};
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(memory.data(), size, 50), USB_STATUS_TIMEOUT);
    EXPECT_EQ(kernel.PendingRequestCount(), 2u) << "a sync time-out cancels only its own transfer";

    EXPECT_TRUE(readPipe.CancelPendingIo());
    EXPECT_EQ(readPipe.WaitForCompletion(second, 0), platform::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(others.completionStatus, USB_STATUS_PENDING);
    scale->Unplug();
    EXPECT_EQ(readPipe.WaitForCompletion(others, 100), sim::DRIVER_DEVICE_REMOVED);
}

TEST_F(UsbioTest, OwnedMemoryIsZeroedEventsAutoResetAndABufferWithoutOneRefusesEveryTransfer) {
    // Leave non-zero bytes where the allocator is likely to hand out next.
    for (int i = 0; i < 4; ++i) std::fill_n(std::make_unique<std::uint8_t[]>(256).get(), 256, 0xCC);
    UsbBuffer owned(256);
    EXPECT_TRUE(std::all_of(owned.Data(), owned.Data() + 256, [](std::uint8_t b) { return b == 0; }));
    // Auto-reset events: a wait takes the signal of the completion it saw.
    EXPECT_EQ(std::tuple(kernel.EventCount(), kernel.ManualResetEventCount()), std::tuple(1u, 0u));
    FailCall("CreateEventA", 1, platform::ERROR_NOT_ENOUGH_MEMORY);
    UsbBuffer eventless(8);
    EXPECT_FALSE(UsbPipe().Read(eventless));
    EXPECT_EQ(eventless.completionStatus, USB_STATUS_NO_MEMORY);
}

const std::array<std::uint8_t, 16> COMMAND = {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST_F(UsbPipeTest, SyncTransfersReturnWhatEndedInTimeOrTimeOutOnceTheirCancellationHasEnded) {
    const Bytes command(COMMAND.begin(), COMMAND.end());
    const std::size_t baseEvents = kernel.EventCount();
    const auto writing = [this](WriteMode mode, UsbStatus status, Micros delayMs) {
        return [=, this] { scale->SetWriteMode(mode, status, delayMs * MS); };
    };
    const auto packet = [this](Bytes bytes, Micros afterMs) {
        return [=, this] { scale->QueuePacket(bytes, clock.Now() + afterMs * MS); };
    };
    // clang-format off
    const std::tuple<const char*, std::function<void()>, bool, std::uint32_t, UsbStatus, Bytes, Micros> cases[] = {
        // name, set-up, a read (else a write), time-out, status, data read or written, time taken
        {"written at once", writing(WriteMode::Complete, 0, 0), false, 200, USB_STATUS_SUCCESS, command, 0},
        {"written after 60 ms", writing(WriteMode::Delay, 0, 60), false, 200, USB_STATUS_SUCCESS, command, 60},
        {"never written", writing(WriteMode::Never, 0, 0), false, 200, USB_STATUS_TIMEOUT, {}, 200},
        {"stalled", writing(WriteMode::Fail, sim::DRIVER_STALL_PID, 0), false, 200, sim::DRIVER_STALL_PID, {}, 0},
        {"already there", packet(PACKET, 0), true, 100, USB_STATUS_SUCCESS, PACKET, 0},
        {"comes after 40 ms", packet({7, 7}, 40), true, 100, USB_STATUS_SUCCESS, {7, 7}, 40},
        {"none, time-out 0", [] {}, true, 0, USB_STATUS_TIMEOUT, {}, 0},
        {"none, time-out 100", [] {}, true, 100, USB_STATUS_TIMEOUT, {}, 100},
        // The data arrive while the time-out cancels the read: a success.
        {"won the race", [&] { scale->SetPacketOnCancel({9, 8, 7}); }, true, 100, USB_STATUS_SUCCESS, {9, 8, 7}, 100},
        // The call returns only once a slow cancellation has ended the transfer.
        {"slow cancellation", [&] { kernel.SetCancelDelay(30 * MS); }, true, 100, USB_STATUS_TIMEOUT, {}, 130},
        {"came during a slow cancellation", packet({4, 4}, 110), true, 100, USB_STATUS_SUCCESS, {4, 4}, 110},
    };
    // clang-format on
    for (const auto& [name, prepare, read, timeoutMs, expected, data, elapsedMs] : cases) {
        SCOPED_TRACE(name);
        prepare();
        std::array<std::uint8_t, 16> memory = read ? std::array<std::uint8_t, 16>{} : COMMAND;
        std::uint32_t size = read ? 8 : 16;
        const auto start = clock.Now();
        EXPECT_EQ(read ? readPipe.ReadSync(memory.data(), size, timeoutMs)
                       : writePipe.WriteSync(memory.data(), size, timeoutMs),
                  expected);
        EXPECT_EQ(Bytes(memory.begin(), memory.begin() + size), data);
        EXPECT_EQ(clock.Now() - start, elapsedMs * MS);
        if (!read) {
            EXPECT_EQ(scale->Writes().back(), command);
        }
        // Nothing left pending, no event of the call's own buffer left, none released while busy.
        EXPECT_EQ(std::tuple(kernel.PendingRequestCount(), kernel.EventCount(), kernel.AbandonedRequestCount()),
                  std::tuple(0u, baseEvents, 0u));
    }
    std::uint32_t size = 8;
    EXPECT_EQ(readPipe.ReadSync(nullptr, size, 100), USB_STATUS_INVALID_PARAMETER);
    EXPECT_EQ(size, 0u);
}

struct UsbBufferPoolTest : UsbioTest {
    UsbBufferPool pool;
};

TEST_F(UsbBufferPoolTest, BuffersLieInOneZeroedBlockAfterItsFirstByteComeOutLastFirstAndFreeTakesAllBack) {
    ASSERT_TRUE(pool.Allocate(0x4000, 4));  // a block beyond 16 bits
    const std::uint8_t* block = pool.MemoryBlock();
    // Refused while allocated: the block, its size and the buffers below stay those of the first.
    EXPECT_FALSE(pool.Allocate(16, 8));
    EXPECT_EQ(std::tuple(pool.MemoryBlock(), pool.MemoryBlockSize(), pool.Count()), std::tuple(block, 0x10001u, 4u));
    EXPECT_TRUE(std::all_of(block, block + 0x10001, [](std::uint8_t b) { return b == 0; }));
    std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> buffers;
    while (UsbBuffer* buffer = pool.Get()) buffers.emplace_back(buffer->Data() - block, buffer->capacity);
    EXPECT_EQ(buffers, (std::vector<std::pair<std::ptrdiff_t, std::uint32_t>>{
                           {0xC001, 0x4000}, {0x8001, 0x4000}, {0x4001, 0x4000}, {1, 0x4000}}));
    pool.Free();  // all four still out
    pool.Free();  // a second time: nothing left to release
    EXPECT_EQ(std::tuple(pool.Allocated(), pool.FreeCount(), pool.MemoryBlock(), kernel.EventCount()),
              std::tuple(false, 0u, nullptr, 0u));
}

TEST_F(UsbBufferPoolTest, AllocateIsRefusedBeyond32BitsOrWithoutEventsPutOnlyTakesBackItsOwnAndGetHandsOutTheLastPut) {
    // 0x10000 x 0x10000 + 1 would be a block of 1 byte in 32 bits.
    for (const auto& [size, count] : {std::pair{0x10000u, 0x10000u}, {0xFFFFFFFFu, 1u}, {1u, 0xFFFFFFFFu}})
        EXPECT_FALSE(pool.Allocate(size, count));
    FailCall("CreateEventA", 3, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(pool.Allocate(8, 4));
    kernel.SetFaultHook(nullptr);
    EXPECT_EQ(std::tuple(pool.Allocated(), kernel.EventCount()), std::tuple(false, 0u));
    ASSERT_TRUE(pool.Allocate(64, 0));
    EXPECT_EQ(pool.Get(), nullptr);
    EXPECT_FALSE(pool.Allocate(64, 1)) << "allocated, even without buffers";
    pool.Free();
    ASSERT_TRUE(pool.Allocate(8, 3));
    {
        UsbBufferPool other;
        ASSERT_TRUE(other.Allocate(8, 5));
        EXPECT_EQ(kernel.EventCount(), 8u);
        UsbBuffer stranger(8);
        for (UsbBuffer* refused : {static_cast<UsbBuffer*>(nullptr), &stranger, other.Get()})
            EXPECT_FALSE(pool.Put(refused));
    }
    EXPECT_EQ(kernel.EventCount(), 3u) << "each pool releases its own events";
    UsbBuffer* a = pool.Get();
    UsbBuffer* b = pool.Get();
    EXPECT_TRUE(pool.Put(b));
    EXPECT_TRUE(pool.Put(a));
    EXPECT_FALSE(pool.Put(a));  // put twice, it would go to two takers
    EXPECT_EQ(pool.FreeCount(), 3u);
    EXPECT_EQ(std::vector<UsbBuffer*>({pool.Get(), pool.Get()}), std::vector<UsbBuffer*>({a, b}));
}

TEST_F(UsbBufferPoolTest, SeveralThreadsTakeAndReturnBuffersWithoutSharingOne) {
    constexpr int THREADS = 4, ROUNDS = 500000;
    ASSERT_TRUE(pool.Allocate(16, 6));
    std::atomic<int> shared{0}, refusedPuts{0}, taken{0};
    const auto worker = [&] {
        for (int round = 0; round < ROUNDS; ++round) {
            UsbBuffer* held[2] = {pool.Get(), pool.Get()};  // two each: the pool also runs dry
            // A buffer's first byte marks it held; one found marked is held twice.
            for (UsbBuffer* buffer : held)
                if (buffer != nullptr && std::atomic_ref(buffer->Data()[0]).exchange(1) != 0) ++shared;
            for (UsbBuffer* buffer : held) {
                if (buffer == nullptr) continue;
                ++taken;
                std::atomic_ref(buffer->Data()[0]).store(0);
                if (!pool.Put(buffer)) ++refusedPuts;
            }
        }
    };
    std::vector<std::thread> threads(THREADS);
    for (std::thread& thread : threads) thread = std::thread(worker);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(std::tuple(shared.load(), refusedPuts.load(), pool.FreeCount()), std::tuple(0, 0, 6u));
    EXPECT_GT(taken.load(), ROUNDS);
}

}  // namespace
}  // namespace usbio_test
