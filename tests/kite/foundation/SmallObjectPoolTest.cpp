// The small-object pool: blocks per size class, reuse, the heap above the largest class, threads,
// and engine objects made and destroyed through it.
#include "kite/foundation/SmallObjectPool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;  // every block is the heap's own under AddressSanitizer
#else
constexpr bool kPooled = true;
#endif

TEST(SmallObjectPool, BlocksAreAlignedDistinctAndUsableToTheirWholeSize) {
    std::vector<void*> blocks;
    for (std::size_t size : {1u, 15u, 16u, 17u, 100u, 592u, 1023u, 1024u, 1025u, 5000u}) {
        for (int i = 0; i < 3; ++i) {
            void* block = SmallObjectPool::allocate(size);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % SmallObjectPool::kAlignment, 0u) << size;
            std::memset(block, 0xA5, size);
            blocks.push_back(block);
        }
    }
    EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), blocks.size());
    std::size_t index = 0;
    for (std::size_t size : {1u, 15u, 16u, 17u, 100u, 592u, 1023u, 1024u, 1025u, 5000u})
        for (int i = 0; i < 3; ++i) SmallObjectPool::release(blocks[index++], size);
}

TEST(SmallObjectPool, ReleasedBlocksAreReusedAndCounted) {
    if (!kPooled) GTEST_SKIP() << "the heap serves every block here";
    const std::size_t before = SmallObjectPool::bytesInUse();
    void* first = SmallObjectPool::allocate(200);
    EXPECT_EQ(SmallObjectPool::bytesInUse(), before + 208);  // rounded up to its class
    SmallObjectPool::release(first, 200);
    EXPECT_EQ(SmallObjectPool::bytesInUse(), before);
    void* again = SmallObjectPool::allocate(193);  // same class
    EXPECT_EQ(again, first);
    SmallObjectPool::release(again, 193);
    void* large = SmallObjectPool::allocate(4096);  // the heap's, not counted
    EXPECT_EQ(SmallObjectPool::bytesInUse(), before);
    SmallObjectPool::release(large, 4096);
}

TEST(SmallObjectPool, AClassOfAFewObjectsTakesLittleRoomAndAFullOneNoMoreThanASlabSpare) {
    if (!kPooled) GTEST_SKIP() << "the heap serves every block here";
    constexpr std::size_t kSize = 1008;  // a class nothing else in this test makes
    const std::size_t before = SmallObjectPool::bytesInSlabs();
    std::vector<void*> blocks{SmallObjectPool::allocate(kSize)};
    const std::size_t firstSlab = SmallObjectPool::bytesInSlabs() - before;
    EXPECT_GT(firstSlab, 0u);
    EXPECT_LE(firstSlab, 4096u);
    while (blocks.size() < 1000) blocks.push_back(SmallObjectPool::allocate(kSize));
    EXPECT_LT(SmallObjectPool::bytesInSlabs() - before, blocks.size() * kSize + 64 * 1024);
    for (void* block : blocks) SmallObjectPool::release(block, kSize);
}

TEST(SmallObjectPool, ThreadsNeverGetTheSameBlockTwice) {
    constexpr int kThreads = 4, kRounds = 2000;
    std::vector<std::vector<void*>> kept(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &kept] {
            for (int i = 0; i < kRounds; ++i) {
                void* block = SmallObjectPool::allocate(64);
                std::memset(block, t, 64);
                if (i % 2 == 0)
                    kept[t].push_back(block);
                else
                    SmallObjectPool::release(block, 64);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<void*> all;
    for (int t = 0; t < kThreads; ++t) {
        for (void* block : kept[t]) {
            EXPECT_TRUE(all.insert(block).second);
            EXPECT_EQ(*static_cast<unsigned char*>(block), t);  // nobody else wrote it
        }
    }
    for (auto& list : kept)
        for (void* block : list) SmallObjectPool::release(block, 64);
}

class Counted : public Ref {
public:
    explicit Counted(int* alive) : alive_(alive) { ++*alive_; }
    ~Counted() override { --*alive_; }
    char payload[100] = {};

private:
    int* alive_;
};

TEST(SmallObjectPool, EngineObjectsAreMadeAndDestroyedThroughIt) {
    int alive = 0;
    const std::size_t before = SmallObjectPool::bytesInUse();
    auto* object = new (std::nothrow) Counted(&alive);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(alive, 1);
    if (kPooled) {
        EXPECT_GT(SmallObjectPool::bytesInUse(), before);
    }
    object->release();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(SmallObjectPool::bytesInUse(), before);
}

}  // namespace
}  // namespace kite
