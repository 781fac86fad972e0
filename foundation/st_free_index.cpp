// st_free_index.cpp: the slot-numbered max tree over one pool's free blocks.
#include "foundation/st_free_index.h"

#include <algorithm>

ST_BLOCK* StFreeIndex::FirstFit(uint8_t* arena, ST_BLOCK* freeList, uint64_t size) const {
    if (_tree[_root] < size) {
        return nullptr;
    }
    // The head of the list is the newest block: when it fits, it is the answer.
    if (freeList->usableSize >= size) {
        return freeList;
    }
    uint32_t i = _root;
    // The newer half first. Branch-free: the way down is unpredictable, so a branch per level
    // would cost more than the levels themselves.
    while (i < kSlots) {
        i = 2 * i + static_cast<uint32_t>(_tree[2 * i + 1] >= size);
    }
    return reinterpret_cast<ST_BLOCK*>(arena + size_t{_granule[i - kSlots]} * kStGranule);
}

void StFreeIndex::Added(uint8_t* arena, ST_BLOCK* freeList, ST_BLOCK* block) {
    if (_nextSlot == kSlots / _root) {
        // Out of slots: widen the tree while most slots still hold blocks, else renumber, so
        // the tree stays small (fewer levels and cache lines) and renumbering stays rare.
        if (_root > 1 && _live * 4 > _nextSlot) {
            _root /= 2;
            _tree[_root] = _tree[2 * _root];  // the new right half is empty
        } else {
            Renumber(arena, freeList->next);  // the new head gets a slot above them all
        }
    }
    const uint32_t slot = _nextSlot++;
    ++_live;
    block->reserved = slot;
    _granule[slot] = static_cast<uint16_t>((reinterpret_cast<uint8_t*>(block) - arena) /
                                           static_cast<ptrdiff_t>(kStGranule));
    SetLeaf(slot, Usable(block));
}

void StFreeIndex::Removed(const ST_BLOCK* block) {
    --_live;
    SetLeaf(block->reserved, 0);
}

void StFreeIndex::SetLeaf(uint32_t slot, uint16_t usable) {
    // The climb carries the new value in a register and reads only siblings, so no load waits
    // for the store just made.
    uint32_t i = kSlots + slot;
    uint16_t value = usable;
    _tree[i] = value;
    while (i > _root) {
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
    // Clear the tree as far as it was in use: every level of the subtree under the root.
    for (uint32_t first = kSlots, width = kSlots / _root; width > 0; first /= 2, width /= 2) {
        std::fill(_tree + first, _tree + first + width, uint16_t{0});
    }
    uint32_t count = 0;
    for (const ST_BLOCK* b = freeList; b != nullptr; b = b->next) {
        ++count;
    }
    uint32_t width = kMinSlots;
    while (width < 2 * (count + 1) && width < kSlots) {
        width *= 2;
    }
    _root = kSlots / width;
    uint32_t slot = count;
    for (ST_BLOCK* b = freeList; b != nullptr; b = b->next) {
        b->reserved = --slot;
        _granule[slot] = static_cast<uint16_t>((reinterpret_cast<uint8_t*>(b) - arena) /
                                               static_cast<ptrdiff_t>(kStGranule));
        _tree[kSlots + slot] = Usable(b);
    }
    for (uint32_t first = kSlots / 2; width > 1; first /= 2, width /= 2) {
        for (uint32_t i = first; i < first + width / 2; ++i) {
            _tree[i] = std::max(_tree[2 * i], _tree[2 * i + 1]);
        }
    }
    _nextSlot = count;
    _live = count;
}
