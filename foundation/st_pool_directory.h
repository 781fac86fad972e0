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
    StPoolRecord* Find(uintptr_t address) const {
        const uintptr_t chunk = address >> kChunkShift;
        const Slot* slots = _table;
        for (size_t i = Home(chunk);; i = (i + 1) & _mask) {
            const Slot& slot = slots[i];
            if (slot.pools[0] == nullptr) {
                return nullptr;
            }
            if (slot.chunk == chunk) {
                // Which of a chunk's two arenas holds the address is a coin toss: chosen
                // without a branch, then checked.
                StPoolRecord* first = slot.pools[0];
                StPoolRecord* found = first->Contains(address) ? first : slot.pools[1];
                return found != nullptr && found->Contains(address) ? found : nullptr;
            }
        }
    }

private:
    static constexpr int kChunkShift = 16;  // 64 KiB chunks
    static constexpr uint64_t kHashFactor = 0x9E3779B97F4A7C15ull;

    struct Slot {
        uintptr_t chunk;
        StPoolRecord* pools[2];  // pools[0] null: the slot is empty
    };

    size_t Home(uintptr_t chunk) const {
        return static_cast<size_t>((uint64_t{chunk} * kHashFactor) >> _shift);
    }
    Slot& SlotFor(uintptr_t chunk);

    // Two empty slots that end every search while the directory is empty, so that a lookup
    // needs no test for it and the empty directory owns no memory.
    static const Slot kNoSlots[2];

    std::vector<Slot> _slots;       // a power of two in size, at most half of them in use
    const Slot* _table = kNoSlots;  // _slots' data once it has any
    size_t _mask = 1;               // the table's size - 1
    size_t _used = 0;
    int _shift = 63;
};
