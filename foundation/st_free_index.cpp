// st_free_index.cpp: the slot-numbered max tree over one pool's free blocks.
#include "foundation/st_free_index.h"

#include <algorithm>
#include <iterator>

ST_BLOCK* StFreeIndex::FirstFit(uint8_t* arena, ST_BLOCK* freeList, uint64_t size) const {
    if (_tree[1] < size) {
        return nullptr;
    }
    // The head of the list is the newest block: when it fits, it is the answer.
    if (freeList->usableSize >= size) {
        return freeList;
    }
    uint32_t i = 1;
    // The newer half first. Branch-free: the way down is unpredictable, so a branch per level
    // would cost more than the levels themselves.
    while (i < kSlots) {
        i = 2 * i + static_cast<uint32_t>(_tree[2 * i + 1] >= size);
    }
    return reinterpret_cast<ST_BLOCK*>(arena + size_t{_granule[i - kSlots]} * kStGranule);
}

void StFreeIndex::Added(uint8_t* arena, ST_BLOCK* freeList, ST_BLOCK* block) {
    if (_nextSlot == kSlots) {
        Renumber(arena, freeList->next);  // the new head gets a slot below
    }
    const uint32_t slot = _nextSlot++;
    block->reserved = slot;
    _granule[slot] = static_cast<uint16_t>((reinterpret_cast<uint8_t*>(block) - arena) /
                                           static_cast<ptrdiff_t>(kStGranule));
    SetLeaf(slot, Usable(block));
}

void StFreeIndex::Removed(const ST_BLOCK* block) {
    _granule[block->reserved] = kNoBlock;
    SetLeaf(block->reserved, 0);
}

void StFreeIndex::SetLeaf(uint32_t slot, uint16_t usable) {
    // The climb carries the new value in a register and reads only siblings, so no load waits
    // for the store just made.
    uint32_t i = kSlots + slot;
    uint16_t value = usable;
    _tree[i] = value;
    while (i > 1) {
        const uint16_t above = std::max(value, _tree[i ^ 1]);
        i /= 2;
        if (_tree[i] == above) {
            break;
        }
        _tree[i] = above;
        value = above;
    }
}

void StFreeIndex::Renumber(uint8_t* arena, ST_BLOCK* freeList) {
    uint32_t count = 0;
    for (const ST_BLOCK* b = freeList; b != nullptr; b = b->next) {
        ++count;
    }
    std::fill(std::begin(_tree), std::end(_tree), uint16_t{0});
    std::fill(std::begin(_granule), std::end(_granule), kNoBlock);
    uint32_t slot = count;
    for (ST_BLOCK* b = freeList; b != nullptr; b = b->next) {
        b->reserved = --slot;
        _granule[slot] = static_cast<uint16_t>((reinterpret_cast<uint8_t*>(b) - arena) /
                                               static_cast<ptrdiff_t>(kStGranule));
        _tree[kSlots + slot] = Usable(b);
    }
    for (uint32_t i = kSlots - 1; i > 0; --i) {
        _tree[i] = std::max(_tree[2 * i], _tree[2 * i + 1]);
    }
    _nextSlot = count;
}
