// st_pool_directory.h: finds the pool whose arena holds an address, without walking the pools.
//
// Arenas are 64 KiB long but only 8-byte aligned, so each one touches one or two of the
// 64 KiB-aligned chunks of the address space, and a chunk is touched by at most two arenas. An
// open-addressing hash table maps each touched chunk to its arenas; a lookup hashes the
// address's chunk and checks at most two ranges. Arenas never overlap, so the pool found is
// the only one that contains the address. Not thread-safe: the allocator's lock covers it.
#pragma once

#include "foundation/st_pool_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class StPoolDirectory {
public:
    // Makes room for `arenas` arenas in all, so that the next Insert calls up to that number
    // cannot fail. Throws std::bad_alloc when memory runs out, leaving the directory as it was.
    void Reserve(size_t arenas);
    // Adds a pool whose arena no other pool's overlaps. Reserve must have made room for it.
    void Insert(StPoolRecord* record);
    // The pool whose arena contains `address`, or null.
    StPoolRecord* Find(uintptr_t address) const;

private:
    struct Slot {
        uintptr_t chunk;
        StPoolRecord* pools[2];  // pools[0] null: the slot is empty
    };

    size_t Home(uintptr_t chunk) const;
    Slot& SlotFor(uintptr_t chunk);

    std::vector<Slot> _slots;  // a power of two in size, at most half of them in use
    size_t _used = 0;
    int _shift = 64;
};
