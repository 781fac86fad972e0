// st_pool_record.h: what the allocator keeps per pool: the ST_POOL record itself, first, so
// that its address is the record's, plus the pool's place in creation order, its map of block
// starts and the size index of its free blocks.
#pragma once

#include "foundation/st_block.h"
#include "foundation/st_block_starts.h"
#include "foundation/st_free_index.h"

#include <cstddef>

struct StPoolRecord {
    ST_POOL pool;
    size_t index;  // place in creation order
    StBlockStarts starts;
    StFreeIndex free;

    bool Contains(uintptr_t address) const {
        // One unsigned comparison: an address below the arena wraps around to a large offset.
        return address - reinterpret_cast<uintptr_t>(pool.arenaStart) < kStArenaBytes;
    }
    uint32_t GranuleOf(const void* block) const {
        return static_cast<uint32_t>(
            (reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(pool.arenaStart)) /
            kStGranule);
    }
    ST_BLOCK* BlockAt(uint32_t granule) const {
        return reinterpret_cast<ST_BLOCK*>(pool.arenaStart + size_t{granule} * kStGranule);
    }
};
