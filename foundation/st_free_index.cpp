// st_free_index.cpp: the slot-numbered max tree over one pool's free blocks.
#include "foundation/st_free_index.h"

#include <algorithm>

void StFreeIndex::MakeRoom(uint8_t* arena, ST_BLOCK* behindHead) {
    // Widen the tree while most slots still hold blocks, else renumber, so the tree stays small
    // (fewer levels and cache lines) and renumbering stays rare.
    if (_root > 1 && _live * 4 > _nextSlot) {
        _root /= 2;
        _tree[_root] = _tree[2 * _root];  // the new right half is empty
    } else {
        Renumber(arena, behindHead);  // the new head gets a slot above them all
    }
}

void StFreeIndex::Renumber(uint8_t* arena, ST_BLOCK* behindHead) {
    // Clear the tree as far as it was in use: every level of the subtree under the root.
    for (uint32_t first = kSlots, width = kSlots / _root; width > 0; first /= 2, width /= 2) {
        std::fill(_tree + first, _tree + first + width, uint16_t{0});
    }
    uint32_t count = 0;
    for (const ST_BLOCK* b = behindHead; b != nullptr; b = b->next) {
        ++count;
    }
    uint32_t width = kMinSlots;
    while (width < 2 * (count + 1) && width < kSlots) {
        width *= 2;
    }
    _root = kSlots / width;
    uint32_t slot = count;
    for (ST_BLOCK* b = behindHead; b != nullptr; b = b->next) {
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
