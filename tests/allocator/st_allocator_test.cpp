// Tests of the small-block allocator's rules on fresh allocators: where blocks go, how they
// are laid out, how releases merge, and the requests and releases it turns away.
#include "arena_recorder.h"

#include "foundation/st_allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

uint32_t ReadU32(const void* address) {
    uint32_t value;
    std::memcpy(&value, address, sizeof(value));
    return value;
}

const ST_BLOCK* HeaderOf(const void* bytes) {
    return reinterpret_cast<const ST_BLOCK*>(static_cast<const uint8_t*>(bytes) - 68);
}

std::vector<const ST_BLOCK*> FreeList(const ST_POOL& pool) {
    std::vector<const ST_BLOCK*> blocks;
    for (const ST_BLOCK* b = pool.freeList; b != nullptr; b = b->next) {
        blocks.push_back(b);
    }
    return blocks;
}

class StAllocatorTest : public ::testing::Test {
protected:
    ArenaRecorder arenas;
    StAllocator allocator{arenas.Source()};
};

TEST_F(StAllocatorTest, FirstBlockIsCutFromTheArenaTail) {
    uint8_t* p = static_cast<uint8_t*>(allocator.Allocate(1));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(allocator.PoolCount(), 1u);
    uint8_t* arena = arenas.Arenas()[0];
    EXPECT_EQ(p, arena + 65536 - 88 + 68);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 4u);
    EXPECT_EQ(p[0], 0xAF);
    EXPECT_EQ(ReadU32(p + 1), 0xEEEEEEEEu);

    const ST_BLOCK* h = HeaderOf(p);
    EXPECT_EQ(h->mark, 0x00FF11EEu);
    EXPECT_EQ(h->previous, nullptr);
    EXPECT_EQ(h->next, nullptr);
    EXPECT_EQ(h->blockSize, 88u);
    EXPECT_EQ(h->usableSize, 1u);
    EXPECT_EQ(h->extent, 1u);
    EXPECT_EQ(h->reserved, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(h->tailGuard), p + 1);
    EXPECT_EQ(h->frontGuard, 0xBBBBBBBBu);

    const ST_POOL& pool = allocator.Pool(0);
    EXPECT_EQ(pool.arenaStart, arena);
    EXPECT_EQ(pool.arenaEnd, arena + 65536);
    EXPECT_EQ(pool.usedList, h);
    ASSERT_EQ(FreeList(pool).size(), 1u);
    const ST_BLOCK* rest = pool.freeList;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(rest), arena);
    EXPECT_EQ(rest->mark, 0x11EE22DDu);
    EXPECT_EQ(rest->blockSize, 65536u - 88);
    EXPECT_EQ(rest->usableSize, 65536u - 88 - 80);
    EXPECT_EQ(rest->extent, reinterpret_cast<uintptr_t>(arena) + 65536 - 88);
}

TEST_F(StAllocatorTest, FillAndGuardCoverExactlyTheRequestedBytes) {
    for (size_t n : {2u, 7u, 8u, 9u, 100u, 1000u}) {
        SCOPED_TRACE(n);
        auto* p = static_cast<uint8_t*>(allocator.Allocate(n));
        ASSERT_NE(p, nullptr);
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(p[i], 0xAF) << i;
        }
        EXPECT_EQ(ReadU32(p + n), 0xEEEEEEEEu);
        EXPECT_EQ(HeaderOf(p)->blockSize, (n + 80 + 7) / 8 * 8);
    }
}

// A fit with 80 bytes or less to spare takes the whole free block.
TEST_F(StAllocatorTest, FreshPoolGrantsWholeArenaFrom65376Bytes) {
    const struct {
        size_t request;
        bool whole;
    } cases[] = {{65375, false}, {65376, true}, {65400, true}, {65455, true}, {65456, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        ArenaRecorder source;
        StAllocator fresh(source.Source());
        auto* p = static_cast<uint8_t*>(fresh.Allocate(c.request));
        ASSERT_NE(p, nullptr);
        const ST_BLOCK* h = HeaderOf(p);
        if (c.whole) {
            EXPECT_EQ(p, source.Arenas()[0] + 68);
            EXPECT_EQ(h->blockSize, 65536u);
            EXPECT_EQ(h->usableSize, 65456u);
            EXPECT_EQ(fresh.Pool(0).freeList, nullptr);
        } else {
            EXPECT_EQ(h->usableSize, c.request);
            ASSERT_NE(fresh.Pool(0).freeList, nullptr);
            EXPECT_EQ(fresh.Pool(0).freeList->usableSize, 0u);
        }
        EXPECT_EQ(h->extent, c.request);
        EXPECT_EQ(ReadU32(p + c.request), 0xEEEEEEEEu);
    }
}

// Our choice: a request that not even a fresh pool can serve adds no pool.
TEST_F(StAllocatorTest, UnservableRequestsReturnNullWithoutAddingAPool) {
    for (size_t n : {size_t{0}, size_t{65457}, size_t{1} << 20, SIZE_MAX}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(allocator.Allocate(n), nullptr);
    }
    EXPECT_EQ(allocator.PoolCount(), 0u);
    EXPECT_TRUE(arenas.Arenas().empty());
}

TEST_F(StAllocatorTest, SuccessiveBlocksLieAtDescendingAddresses) {
    uint8_t* last = nullptr;
    for (int i = 0; i < 50; ++i) {
        auto* p = static_cast<uint8_t*>(allocator.Allocate(static_cast<size_t>(8 + i * 13)));
        ASSERT_NE(p, nullptr);
        if (last != nullptr) {
            EXPECT_EQ(p + HeaderOf(p)->blockSize, last);
        }
        last = p;
    }
    EXPECT_EQ(allocator.PoolCount(), 1u);
}

// Two blocks released in reverse order merge into one free block spanning the arena. Released
// in order, the first lies behind the still allocated second one and stays apart; the second
// merges into the free rest in front of it and does not look behind, so the whole-arena request
// needs a second pool.
TEST(StAllocatorReleaseOrder, DecidesWhetherTheArenaIsWholeAgain) {
    const struct {
        bool inOrder;
        std::vector<uint64_t> freeSizes;  // most recently freed first
        size_t pools;                     // after a whole-arena request
    } cases[] = {{false, {65536}, 1}, {true, {88, 65536 - 88}, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inOrder ? "in order" : "in reverse order");
        ArenaRecorder arenas;
        StAllocator allocator(arenas.Source());
        void* first = allocator.Allocate(8);
        void* second = allocator.Allocate(8);
        allocator.Release(c.inOrder ? first : second);
        allocator.Release(c.inOrder ? second : first);
        const auto blocks = FreeList(allocator.Pool(0));
        ASSERT_EQ(blocks.size(), c.freeSizes.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i]->blockSize, c.freeSizes[i]) << i;
        }
        EXPECT_EQ(blocks[0], c.inOrder ? HeaderOf(first) : HeaderOf(arenas.Arenas()[0] + 68));
        EXPECT_EQ(allocator.Pool(0).usedList, nullptr);
        void* whole = allocator.Allocate(65456);
        EXPECT_EQ(allocator.PoolCount(), c.pools);
        EXPECT_EQ(whole, arenas.Arenas()[c.pools - 1] + 68);
    }
}

// A block released between a free block in front and a free block behind merges only with
// the one in front.
TEST_F(StAllocatorTest, ReleaseMergesWithTheFrontNeighbourOnly) {
    void* a = allocator.Allocate(100);  // highest address
    void* b = allocator.Allocate(100);
    void* c = allocator.Allocate(100);
    void* guard = allocator.Allocate(100);  // keeps c from touching the arena's free rest
    allocator.Release(a);
    allocator.Release(c);
    allocator.Release(b);  // c lies in front of b, a behind it
    const auto blocks = FreeList(allocator.Pool(0));
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], HeaderOf(c));
    EXPECT_EQ(blocks[0]->blockSize, 2u * 184);
    EXPECT_EQ(blocks[1], HeaderOf(a));
    EXPECT_EQ(blocks[1]->blockSize, 184u);
    EXPECT_EQ(blocks[2]->blockSize, 65536u - 4 * 184);
    // Merging into the block in front keeps that block's place in the free list.
    allocator.Release(guard);
    const auto after = FreeList(allocator.Pool(0));
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2], blocks[2]);
    EXPECT_EQ(after[2]->blockSize, 65536u - 3 * 184);
}

// Without a free block in front, a released block takes the free block behind it into itself
// and replaces it in the free list.
TEST_F(StAllocatorTest, ReleaseTakesInTheFreeBlockBehind) {
    void* top = allocator.Allocate(100);
    void* middle = allocator.Allocate(100);
    void* bottom = allocator.Allocate(100);
    allocator.Release(top);
    allocator.Release(middle);
    const auto blocks = FreeList(allocator.Pool(0));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], HeaderOf(middle));
    EXPECT_EQ(blocks[0]->blockSize, 2u * 184);
    EXPECT_EQ(blocks[0]->extent, reinterpret_cast<uintptr_t>(arenas.Arenas()[0]) + 65536);
    EXPECT_EQ(blocks[0]->usableSize, 2u * 184 - 80);
    (void)bottom;
}

TEST_F(StAllocatorTest, RecentlyFreedBlocksServeFirst) {
    std::vector<void*> blocks;
    for (int i = 0; i < 6; ++i) {
        blocks.push_back(allocator.Allocate(200));
    }
    void* keep = allocator.Allocate(200);
    allocator.Release(blocks[1]);
    allocator.Release(blocks[3]);
    // Both fit; the one released last is at the head of the free list.
    EXPECT_EQ(allocator.Allocate(200), blocks[3]);
    EXPECT_EQ(allocator.Allocate(200), blocks[1]);
    // A smaller request splits a recently freed block from its tail.
    allocator.Release(blocks[3]);
    auto* small = static_cast<uint8_t*>(allocator.Allocate(8));
    EXPECT_EQ(small + 88, static_cast<uint8_t*>(blocks[3]) + 280);
    (void)keep;
}

TEST_F(StAllocatorTest, IgnoresReleasesOfAddressesThatAreNoAllocatedBlock) {
    auto* p = static_cast<uint8_t*>(allocator.Allocate(64));
    void* q = allocator.Allocate(64);
    int onTheStack = 0;
    std::vector<char> elsewhere(256);
    uint8_t* inArena = arenas.Arenas()[0];
    void* bogus[] = {nullptr, &onTheStack,      elsewhere.data() + 68, p + 1,  p + 8,
                     p - 88,  inArena + 68 + 4, inArena + 68,          inArena};
    for (void* address : bogus) {
        allocator.Release(address);
    }
    EXPECT_EQ(FreeList(allocator.Pool(0)).size(), 1u);
    EXPECT_EQ(allocator.Pool(0).usedList, HeaderOf(q));
    allocator.Release(q);
    allocator.Release(q);  // twice: the second finds no allocated block
    allocator.Release(p);
    allocator.Release(p);
    ASSERT_EQ(FreeList(allocator.Pool(0)).size(), 1u);
    EXPECT_EQ(allocator.Pool(0).freeList->blockSize, 65536u);
}

// Our choice: when the platform has no arena, the request returns null and nothing changes.
TEST_F(StAllocatorTest, ReturnsNullWhenNoArenaCanBeHad) {
    arenas.failing = true;
    EXPECT_EQ(allocator.Allocate(10), nullptr);
    EXPECT_EQ(allocator.PoolCount(), 0u);
    arenas.failing = false;
    void* whole = allocator.Allocate(65456);
    ASSERT_NE(whole, nullptr);
    arenas.failing = true;
    EXPECT_EQ(allocator.Allocate(10), nullptr);
    allocator.Release(whole);
    EXPECT_NE(allocator.Allocate(10), nullptr);
    EXPECT_EQ(allocator.PoolCount(), 1u);
}

TEST(StAllocatorLifetime, DestructionReturnsEveryArena) {
    ArenaRecorder arenas;
    {
        StAllocator allocator(arenas.Source());
        for (int i = 0; i < 5; ++i) {
            ASSERT_NE(allocator.Allocate(40000), nullptr);
        }
        EXPECT_EQ(allocator.PoolCount(), 5u);
    }
    EXPECT_EQ(arenas.Released(), 5u);
}

// Arenas that touch: a block at the start of one arena never merges with a free block at the
// end of the arena before it, and every address finds its own pool.
TEST(StAllocatorAdjacentArenas, PoolsStaySeparate) {
    ArenaRecorder arenas(4);
    StAllocator allocator(arenas.Source());
    void* whole[4];
    for (void*& p : whole) {
        p = allocator.Allocate(65456);
    }
    ASSERT_EQ(arenas.Arenas()[1], arenas.Arenas()[0] + 65536);
    allocator.Release(whole[1]);
    allocator.Release(whole[0]);
    allocator.Release(whole[2]);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(FreeList(allocator.Pool(i)).size(), 1u);
        EXPECT_EQ(allocator.Pool(i).freeList->blockSize, 65536u);
    }
    EXPECT_EQ(allocator.Pool(3).freeList, nullptr);
}

}  // namespace
