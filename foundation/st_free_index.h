// st_free_index.h: one pool's free blocks in free-list order, searchable by size.
//
// Blocks only ever join a free list at its head and keep their place until they leave it, so
// numbering them in the order they join gives the list order: the higher the slot, the nearer
// the head. A max tree over the slots' usable sizes then finds the first block in list order
// that holds a size (the highest slot whose size reaches it) in a fixed number of steps. A free
// block keeps its slot in the header's `reserved` field, which free blocks do not otherwise use.
//
// The head of the list is left out of the tree (its leaf holds 0): a request tries the head
// first anyway, and most splits and merges change the head, which then costs no tree update.
// So the largest free block is the larger of the head and the tree's root.
//
// Only the subtree over the slots in use is live, from kMinSlots up to kSlots wide: it widens
// while most of its slots hold blocks, and otherwise, when its slots run out, the blocks are
// renumbered from the free list (which never holds more than 819 blocks, 65536 / 80). So a
// pool with few free blocks has a short tree that touches few cache lines.
// Every call names the pool's free list as it is at the time of the call.
// Not thread-safe: the allocator's lock covers it.
#pragma once

#include "foundation/st_block.h"

#include <cstddef>
#include <cstdint>

class StFreeIndex {
public:
    static constexpr uint32_t kSlots = 1024;
    static constexpr uint32_t kMinSlots = 16;

    // The largest usable size of any free block; 0 when there is none.
    uint16_t Largest(const ST_BLOCK* freeList) const {
        const uint16_t rest = _tree[_root];
        if (freeList == nullptr) {
            return rest;
        }
        const uint16_t head = Usable(freeList);
        return head > rest ? head : rest;
    }

    // The first block in `freeList` whose usable size is at least `size`, or null.
    ST_BLOCK* FirstFit(uint8_t* arena, ST_BLOCK* freeList, uint64_t size) const {
        if (freeList == nullptr) {
            return nullptr;
        }
        // The head is the newest block: when it fits, it is the answer.
        if (freeList->usableSize >= size) {
            return freeList;
        }
        if (_tree[_root] < size) {
            return nullptr;
        }
        uint32_t i = _root;
        // The newer half first. Branch-free: the way down is unpredictable, so a branch per
        // level would cost more than the levels themselves.
        while (i < kSlots) {
            i = 2 * i + static_cast<uint32_t>(_tree[2 * i + 1] >= size);
        }
        return reinterpret_cast<ST_BLOCK*>(arena + size_t{_granule[i - kSlots]} * kStGranule);
    }

    // `block` has just been put at the head of the free list; the former head, now behind it,
    // enters the tree.
    void Added(uint8_t* arena, ST_BLOCK* block) {
        if (_nextSlot == kSlots / _root) {
            MakeRoom(arena, block->next);
        }
        const uint32_t slot = _nextSlot++;
        ++_live;
        block->reserved = slot;
        _granule[slot] = static_cast<uint16_t>(
            (reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(arena)) / kStGranule);
        if (const ST_BLOCK* former = block->next) {
            SetLeaf(former->reserved, Usable(former));
        }
    }
    // `block`'s usable size has changed.
    void Resized(const ST_BLOCK* block, const ST_BLOCK* freeList) {
        if (block != freeList) {
            SetLeaf(block->reserved, Usable(block));
        }
    }
    // `block` is about to leave the free list. When it is the head, the block behind it
    // becomes the head and leaves the tree.
    void Removed(const ST_BLOCK* block, const ST_BLOCK* freeList) {
        --_live;
        const ST_BLOCK* leaving = block != freeList ? block : block->next;
        if (leaving != nullptr) {
            SetLeaf(leaving->reserved, 0);
        }
    }

private:
    static uint16_t Usable(const ST_BLOCK* block) {
        return static_cast<uint16_t>(block->usableSize);
    }
    void SetLeaf(uint32_t slot, uint16_t usable) {
        // The climb always goes up to the root: stopping where a node keeps its value would
        // save a few levels, but the branch that decides it is unpredictable and costs more.
        // The value climbs in a register and only siblings are read, so no load waits for a
        // store just made.
        uint32_t i = kSlots + slot;
        uint32_t value = usable;
        _tree[i] = usable;
        for (const uint32_t root = _root; i > root;) {
            const uint32_t sibling = _tree[i ^ 1];
            value = value > sibling ? value : sibling;
            i >>= 1;
            _tree[i] = static_cast<uint16_t>(value);
        }
    }
    // Widens the tree or renumbers `behindHead` (the blocks behind the head) so that a slot is
    // free.
    void MakeRoom(uint8_t* arena, ST_BLOCK* behindHead);
    void Renumber(uint8_t* arena, ST_BLOCK* behindHead);

    uint16_t _tree[2 * kSlots] = {};      // heap order: leaves start at kSlots
    uint16_t _granule[kSlots] = {};       // the block at each slot, as granule index
    uint32_t _root = kSlots / kMinSlots;  // the live subtree's root; kSlots / _root slots wide
    uint32_t _nextSlot = 0;
    uint32_t _live = 0;  // slots that hold a block, the head's included
};
