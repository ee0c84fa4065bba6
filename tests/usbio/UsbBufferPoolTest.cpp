// The buffer pool: one block for every data area, last-in first-out
// hand-out, the refusals of Allocate and Put, and use from several threads.
#include <algorithm>
#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "tests/usbio/UsbioTestBench.h"
#include "usbio/UsbBufferPool.h"

namespace usbio_test {
namespace {

class UsbBufferPoolTest : public UsbioTest {
protected:
    UsbBufferPool pool;
};

TEST_F(UsbBufferPoolTest, BuffersLieInOneZeroedBlockAfterItsFirstByteAndComeOutLastFirst) {
    ASSERT_TRUE(pool.Allocate(64, 4));
    EXPECT_EQ(pool.MemoryBlockSize(), 257u);
    const std::uint8_t* block = pool.MemoryBlock();
    EXPECT_TRUE(std::all_of(block, block + 257, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(kernel.EventCount(), 4u) << "an event per buffer";
    std::vector<std::ptrdiff_t> offsets;
    while (UsbBuffer* buffer = pool.Get()) {
        EXPECT_EQ(buffer->capacity, 64u);
        offsets.push_back(buffer->Data() - block);
    }
    EXPECT_EQ(offsets, (std::vector<std::ptrdiff_t>{193, 129, 65, 1}));
    EXPECT_EQ(pool.FreeCount(), 0u);
}

TEST_F(UsbBufferPoolTest, PutRefusesWhatIsNotATakenBufferOfThisPoolAndGetHandsOutTheLastPut) {
    ASSERT_TRUE(pool.Allocate(8, 3));
    UsbBufferPool other;
    ASSERT_TRUE(other.Allocate(8, 3));
    UsbBuffer stranger(8);
    EXPECT_FALSE(pool.Put(nullptr));
    EXPECT_FALSE(pool.Put(&stranger));
    EXPECT_FALSE(pool.Put(other.Get()));
    UsbBuffer* a = pool.Get();
    UsbBuffer* b = pool.Get();
    EXPECT_EQ(pool.FreeCount(), 1u);
    EXPECT_TRUE(pool.Put(b));
    EXPECT_TRUE(pool.Put(a));
    // Put twice, a buffer would go to two takers.
    EXPECT_FALSE(pool.Put(a));
    EXPECT_EQ(pool.FreeCount(), 3u);
    EXPECT_EQ(pool.Get(), a);
    EXPECT_EQ(pool.Get(), b);
    EXPECT_NE(pool.Get(), nullptr);
    EXPECT_EQ(pool.Get(), nullptr);
}

TEST_F(UsbBufferPoolTest, AllocateIsRefusedWhileAllocatedBeyond32BitsAndWithoutEventsAndChangesNothing) {
    // 0x10000 x 0x10000 + 1 would be a block of 1 byte in 32 bits.
    EXPECT_FALSE(pool.Allocate(0x10000, 0x10000));
    EXPECT_FALSE(pool.Allocate(0xFFFFFFFF, 1));
    EXPECT_FALSE(pool.Allocate(1, 0xFFFFFFFF));
    FailCall("CreateEventA", 3, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(pool.Allocate(8, 4));
    kernel.SetFaultHook(nullptr);
    EXPECT_FALSE(pool.Allocated());
    EXPECT_EQ(pool.Get(), nullptr);
    EXPECT_EQ(kernel.EventCount(), 0u);

    ASSERT_TRUE(pool.Allocate(0x100, 0x100));
    const std::uint8_t* block = pool.MemoryBlock();
    EXPECT_FALSE(pool.Allocate(16, 8));
    EXPECT_EQ(pool.MemoryBlock(), block);
    EXPECT_EQ(pool.MemoryBlockSize(), 0x10001u);
    EXPECT_EQ(pool.Count(), 0x100u);
}

TEST_F(UsbBufferPoolTest, FreeAndDestructionReleaseEverythingAndFreeAllowsAnotherAllocate) {
    ASSERT_TRUE(pool.Allocate(64, 4));
    EXPECT_NE(pool.Get(), nullptr);  // Free takes back what is still out
    pool.Free();
    pool.Free();
    EXPECT_FALSE(pool.Allocated());
    EXPECT_EQ(pool.FreeCount(), 0u);
    EXPECT_EQ(pool.MemoryBlock(), nullptr);
    EXPECT_EQ(kernel.EventCount(), 0u);
    ASSERT_TRUE(pool.Allocate(64, 0));
    EXPECT_EQ(pool.Get(), nullptr);
    EXPECT_FALSE(pool.Allocate(64, 1)) << "allocated, even without buffers";
    pool.Free();
    ASSERT_TRUE(pool.Allocate(16, 2));
    {
        UsbBufferPool other;
        ASSERT_TRUE(other.Allocate(8, 5));
        EXPECT_EQ(kernel.EventCount(), 7u);
    }
    EXPECT_EQ(kernel.EventCount(), 2u);
}

TEST_F(UsbBufferPoolTest, APoolBufferCarriesATransferIntoItsPlaceAndIsNotTakenBackWhileBusy) {
    sim::ScriptedDevice& scale = Attach();
    UsbDevice device;
    UsbPipe readPipe;
    ASSERT_EQ(Configure(device), USB_STATUS_SUCCESS);
    ASSERT_EQ(readPipe.Bind(0, 0x81, nullptr, nullptr), USB_STATUS_SUCCESS);
    ASSERT_TRUE(pool.Allocate(8, 2));
    UsbBuffer* buffer = pool.Get();
    scale.QueuePacket(PACKET, 20 * MS);
    buffer->requestedBytes = 8;
    ASSERT_TRUE(readPipe.Read(*buffer));
    EXPECT_FALSE(pool.Put(buffer)) << "the platform still owns it";
    EXPECT_EQ(pool.FreeCount(), 1u);
    EXPECT_EQ(readPipe.WaitForCompletion(*buffer, 100), USB_STATUS_SUCCESS);
    EXPECT_EQ(Bytes(pool.MemoryBlock() + 9, pool.MemoryBlock() + 17), PACKET) << "buffer 1 starts at byte 9";
    EXPECT_EQ(pool.MemoryBlock()[8], 0) << "buffer 0 untouched";
    EXPECT_TRUE(pool.Put(buffer));
}

TEST_F(UsbBufferPoolTest, SeveralThreadsTakeAndReturnBuffersWithoutSharingOne) {
    constexpr std::uint32_t BUFFERS = 6;
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 500000;
    ASSERT_TRUE(pool.Allocate(16, BUFFERS));
    const std::uint8_t* block = pool.MemoryBlock();
    std::array<std::atomic<int>, BUFFERS> holders{};
    std::atomic<int> shared{0}, refusedPuts{0}, taken{0}, ready{0};
    auto worker = [&](std::uint8_t mark) {
        // Start together, so that the threads really contend for the pool.
        ++ready;
        while (ready.load() < THREADS) std::this_thread::yield();
        for (int round = 0; round < ROUNDS; ++round) {
            // Two at a time, so that threads also run the pool dry.
            UsbBuffer* held[2] = {pool.Get(), pool.Get()};
            for (UsbBuffer* buffer : held) {
                if (buffer == nullptr) continue;
                ++taken;
                if (holders[static_cast<std::size_t>(buffer->Data() - block - 1) / 16].fetch_add(1) != 0) ++shared;
                std::fill(buffer->Data(), buffer->Data() + 16, mark);
            }
            for (UsbBuffer* buffer : held) {
                if (buffer == nullptr) continue;
                if (std::count(buffer->Data(), buffer->Data() + 16, mark) != 16) ++shared;
                holders[static_cast<std::size_t>(buffer->Data() - block - 1) / 16].fetch_sub(1);
                if (!pool.Put(buffer)) ++refusedPuts;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) threads.emplace_back(worker, static_cast<std::uint8_t>(t + 1));
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.load(), 0);
    EXPECT_EQ(refusedPuts.load(), 0);
    EXPECT_GT(taken.load(), ROUNDS);
    EXPECT_EQ(pool.FreeCount(), BUFFERS);
}

}  // namespace
}  // namespace usbio_test
