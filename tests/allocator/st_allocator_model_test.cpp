// The allocator against a plain model of its rules over long random sequences: every address
// handed out, and from time to time every pool's free and used lists, must match. The model
// walks pools and free lists one by one, as the rules are written; the allocator under test
// finds the same blocks through its indexes.
#include "arena_recorder.h"

#include "foundation/st_allocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <map>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint64_t kArena = 65536;

struct ModelBlock {
    uint64_t size;
    uint64_t usable;
    uint64_t requested;  // allocated blocks only
    bool free;
};

struct ModelPool {
    std::unordered_map<uint64_t, ModelBlock> blocks;  // by offset
    std::list<uint64_t> freeList;                     // offsets, head first
    std::list<uint64_t> usedList;
    std::map<uint64_t, std::list<uint64_t>::iterator> usedAt;  // only to make removal quick
};

struct Place {
    size_t pool;
    uint64_t offset;
    bool operator==(const Place&) const = default;
};

constexpr Place kNowhere{SIZE_MAX, 0};

uint64_t BlockSizeFor(uint64_t usable) {
    return (usable + 80 + 7) / 8 * 8;
}

class Model {
public:
    Place Allocate(uint64_t n) {
        if (n == 0 || n > kArena - 80) {
            return kNowhere;
        }
        for (size_t p = 0; p < pools.size(); ++p) {
            const Place got = FromPool(p, n);
            if (got.pool != SIZE_MAX) {
                return got;
            }
        }
        ModelPool fresh;
        fresh.blocks[0] = ModelBlock{kArena, kArena - 80, 0, true};
        fresh.freeList.push_back(0);
        pools.push_back(std::move(fresh));
        return FromPool(pools.size() - 1, n);
    }

    void Release(Place place) {
        ModelPool& pool = pools[place.pool];
        ModelBlock& block = pool.blocks.at(place.offset);
        pool.usedList.erase(pool.usedAt.at(place.offset));
        pool.usedAt.erase(place.offset);
        for (uint64_t offset : pool.freeList) {
            ModelBlock& front = pool.blocks.at(offset);
            if (offset + front.size == place.offset) {
                front.size += block.size;
                front.usable = front.size - 80;
                pool.blocks.erase(place.offset);
                return;
            }
        }
        block.free = true;
        block.usable = block.size - 80;
        pool.freeList.push_front(place.offset);
        const uint64_t behind = place.offset + block.size;
        if (behind < kArena && pool.blocks.at(behind).free) {
            block.size += pool.blocks.at(behind).size;
            block.usable = block.size - 80;
            pool.freeList.remove(behind);
            pool.blocks.erase(behind);
        }
    }

    std::vector<ModelPool> pools;

private:
    Place FromPool(size_t p, uint64_t n) {
        ModelPool& pool = pools[p];
        for (auto it = pool.freeList.begin(); it != pool.freeList.end(); ++it) {
            ModelBlock& block = pool.blocks.at(*it);
            if (block.usable < n) {
                continue;
            }
            const uint64_t granted = block.usable > n + 80 ? n : block.usable;
            uint64_t offset = *it;
            if (granted < block.usable) {
                block.size -= BlockSizeFor(n);
                block.usable = block.size - 80;
                offset += block.size;
            } else {
                pool.freeList.erase(it);
            }
            pool.blocks[offset] = ModelBlock{BlockSizeFor(granted), granted, n, false};
            pool.usedList.push_front(offset);
            pool.usedAt[offset] = pool.usedList.begin();
            return {p, offset};
        }
        return kNowhere;
    }
};

// Every pool's lists and block fields as the allocator holds them, against the model.
void ExpectSameState(const StAllocator& allocator, const Model& model) {
    ASSERT_EQ(allocator.PoolCount(), model.pools.size());
    for (size_t p = 0; p < model.pools.size(); ++p) {
        SCOPED_TRACE(p);
        const ST_POOL& pool = allocator.Pool(p);
        const ModelPool& want = model.pools[p];
        auto offsetOf = [&](const ST_BLOCK* b) {
            return static_cast<uint64_t>(reinterpret_cast<const uint8_t*>(b) - pool.arenaStart);
        };
        const ST_BLOCK* b = pool.freeList;
        for (uint64_t offset : want.freeList) {
            ASSERT_NE(b, nullptr);
            ASSERT_EQ(offsetOf(b), offset);
            const ModelBlock& m = want.blocks.at(offset);
            ASSERT_EQ(b->mark, 0x11EE22DDu);
            ASSERT_EQ(b->blockSize, m.size);
            ASSERT_EQ(b->usableSize, m.usable);
            ASSERT_EQ(b->extent, reinterpret_cast<uintptr_t>(pool.arenaStart) + offset + m.size);
            ASSERT_EQ(b->next == nullptr || b->next->previous == b, true);
            b = b->next;
        }
        ASSERT_EQ(b, nullptr);
        b = pool.usedList;
        for (uint64_t offset : want.usedList) {
            ASSERT_NE(b, nullptr);
            ASSERT_EQ(offsetOf(b), offset);
            const ModelBlock& m = want.blocks.at(offset);
            ASSERT_EQ(b->mark, 0x00FF11EEu);
            ASSERT_EQ(b->blockSize, m.size);
            ASSERT_EQ(b->usableSize, m.usable);
            ASSERT_EQ(b->extent, m.requested);
            ASSERT_EQ(b->frontGuard, 0xBBBBBBBBu);
            uint32_t guard;
            std::memcpy(&guard, b->tailGuard, sizeof(guard));
            ASSERT_EQ(guard, 0xEEEEEEEEu);
            b = b->next;
        }
        ASSERT_EQ(b, nullptr);
    }
}

struct Live {
    uint8_t* bytes;
    Place place;
    uint64_t size;
    uint8_t tag;
};

struct Workload {
    const char* name;
    size_t operations;
    size_t slabArenas;         // contiguous arenas first (they touch one another)
    size_t smallMax;           // most requests are 1..smallMax bytes
    size_t liveLow, liveHigh;  // the live count swings between these
};

uint64_t DrawSize(std::mt19937_64& rng, size_t smallMax) {
    const uint64_t kind = rng() % 100;
    if (kind < 75) {
        return 1 + rng() % smallMax;
    }
    if (kind < 93) {
        return 1 + rng() % 4096;
    }
    if (kind < 98) {
        return 1 + rng() % 65456;
    }
    const uint64_t edges[] = {0, 65375, 65376, 65455, 65456, 65457, 1u << 20, 8, 80, 81};
    return edges[rng() % std::size(edges)];
}

void RunWorkload(const Workload& w, uint64_t seed) {
    SCOPED_TRACE(w.name);
    SCOPED_TRACE(seed);
    ArenaRecorder arenas(w.slabArenas);
    StAllocator allocator(arenas.Source());
    Model model;
    std::mt19937_64 rng(seed);
    std::vector<Live> live;
    bool growing = true;
    uint8_t nextTag = 1;
    for (size_t step = 0; step < w.operations; ++step) {
        if (live.size() >= w.liveHigh) {
            growing = false;
        } else if (live.size() <= w.liveLow) {
            growing = true;
        }
        const bool allocate = live.empty() || rng() % 100 < (growing ? 65u : 35u);
        if (allocate) {
            const uint64_t n = DrawSize(rng, w.smallMax);
            auto* bytes = static_cast<uint8_t*>(allocator.Allocate(n));
            const Place want = model.Allocate(n);
            if (want.pool == SIZE_MAX) {
                ASSERT_EQ(bytes, nullptr) << "step " << step << " size " << n;
                continue;
            }
            ASSERT_NE(bytes, nullptr) << "step " << step << " size " << n;
            const auto got = arenas.Locate(bytes);
            ASSERT_EQ((Place{got.pool, got.offset}), (Place{want.pool, want.offset + 68}))
                << "step " << step << " size " << n;
            ASSERT_TRUE(bytes[0] == 0xAF && bytes[n - 1] == 0xAF);
            // Tag both ends, so an overlap with another live block shows up at release.
            bytes[0] = nextTag;
            bytes[n - 1] = nextTag;
            live.push_back(Live{bytes, want, n, nextTag});
            nextTag = static_cast<uint8_t>(nextTag % 250 + 1);
        } else {
            const size_t i = rng() % live.size();
            const Live block = live[i];
            live[i] = live.back();
            live.pop_back();
            ASSERT_EQ(block.bytes[0], block.tag);
            ASSERT_EQ(block.bytes[block.size - 1], block.tag);
            allocator.Release(block.bytes);
            model.Release(block.place);
            if (rng() % 8 == 0) {
                allocator.Release(block.bytes);  // a second release changes nothing
            }
        }
        if (step % 4096 == 0) {
            ASSERT_NO_FATAL_FAILURE(ExpectSameState(allocator, model)) << "step " << step;
        }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSameState(allocator, model));
    // Everything back: every pool is one free block again.
    for (const Live& block : live) {
        allocator.Release(block.bytes);
        model.Release(block.place);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSameState(allocator, model));
}

TEST(StAllocatorModel, SameBlocksAsThePlainRules) {
    const Workload workloads[] = {
        {"small blocks, few live", 60000, 0, 128, 0, 300},
        {"mixed sizes, many pools, touching arenas", 40000, 64, 1024, 500, 4000},
        {"large swings", 40000, 0, 4096, 0, 2000},
    };
    for (const Workload& w : workloads) {
        for (uint64_t seed : {1u, 2u}) {
            RunWorkload(w, seed);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

}  // namespace
