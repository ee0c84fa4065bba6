// The buffer pool: one block for all data areas, last-in first-out hand-out,
// the refusals of Allocate and Put, and use from several threads.
#include <algorithm>
#include <array>
#include <atomic>
#include <thread>
#include <tuple>
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
    std::vector<std::pair<std::ptrdiff_t, std::uint32_t>> buffers;
    while (UsbBuffer* buffer = pool.Get()) buffers.emplace_back(buffer->Data() - block, buffer->capacity);
    EXPECT_EQ(buffers,
              (std::vector<std::pair<std::ptrdiff_t, std::uint32_t>>{{193, 64}, {129, 64}, {65, 64}, {1, 64}}));
    EXPECT_EQ(pool.FreeCount(), 0u);
}

TEST_F(UsbBufferPoolTest, PutRefusesWhatIsNotATakenBufferOfThisPoolAndGetHandsOutTheLastPut) {
    ASSERT_TRUE(pool.Allocate(8, 3));
    UsbBufferPool other;
    ASSERT_TRUE(other.Allocate(8, 3));
    UsbBuffer stranger(8);
    for (UsbBuffer* refused : {static_cast<UsbBuffer*>(nullptr), &stranger, other.Get()})
        EXPECT_FALSE(pool.Put(refused));
    UsbBuffer* a = pool.Get();
    UsbBuffer* b = pool.Get();
    EXPECT_EQ(pool.FreeCount(), 1u);
    EXPECT_TRUE(pool.Put(b));
    EXPECT_TRUE(pool.Put(a));
    // Put twice, a buffer would go to two takers.
    EXPECT_FALSE(pool.Put(a));
    EXPECT_EQ(pool.FreeCount(), 3u);
    EXPECT_EQ(std::vector<UsbBuffer*>({pool.Get(), pool.Get()}), std::vector<UsbBuffer*>({a, b}));
}

TEST_F(UsbBufferPoolTest, AllocateIsRefusedWhileAllocatedBeyond32BitsAndWithoutEventsAndChangesNothing) {
    // 0x10000 x 0x10000 + 1 would be a block of 1 byte in 32 bits.
    for (const auto& [size, count] : {std::pair{0x10000u, 0x10000u}, {0xFFFFFFFFu, 1u}, {1u, 0xFFFFFFFFu}})
        EXPECT_FALSE(pool.Allocate(size, count));
    FailCall("CreateEventA", 3, platform::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(pool.Allocate(8, 4));
    kernel.SetFaultHook(nullptr);
    EXPECT_FALSE(pool.Allocated());
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
    pool.Free();  // a second time: nothing left to release
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

TEST_F(UsbBufferPoolTest, SeveralThreadsTakeAndReturnBuffersWithoutSharingOne) {
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 500000;
    ASSERT_TRUE(pool.Allocate(16, 6));
    std::array<std::atomic<int>, 6> holders{};
    const auto holder = [&](const UsbBuffer* buffer) -> auto& {
        return holders[static_cast<std::size_t>(buffer->Data() - pool.MemoryBlock() - 1) / 16];
    };
    std::atomic<int> shared{0}, refusedPuts{0}, taken{0}, ready{0};
    const auto worker = [&] {
        ++ready;  // start together, so that the threads really contend
        while (ready.load() < THREADS) std::this_thread::yield();
        for (int round = 0; round < ROUNDS; ++round) {
            UsbBuffer* held[2] = {pool.Get(), pool.Get()};  // two each: the pool also runs dry
            for (UsbBuffer* buffer : held)
                if (buffer != nullptr && holder(buffer).fetch_add(1) != 0) ++shared;
            for (UsbBuffer* buffer : held) {
                if (buffer == nullptr) continue;
                ++taken;
                holder(buffer).fetch_sub(1);
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
