// st_pool_directory.cpp: the chunk-to-arena hash table.
#include "foundation/st_pool_directory.h"

#include <cassert>

const StPoolDirectory::Slot StPoolDirectory::kNoSlots[2] = {};

StPoolDirectory::Slot& StPoolDirectory::SlotFor(uintptr_t chunk) {
    size_t i = Home(chunk);
    while (_slots[i].pools[0] != nullptr && _slots[i].chunk != chunk) {
        i = (i + 1) & _mask;
    }
    return _slots[i];
}

void StPoolDirectory::Reserve(size_t arenas) {
    // Each arena takes at most two slots; keep the table at most half full.
    size_t wanted = 8;
    int shift = 61;
    while (wanted < arenas * 4) {
        wanted *= 2;
        --shift;
    }
    if (wanted <= _slots.size()) {
        return;
    }
    std::vector<Slot> old(wanted, Slot{0, {nullptr, nullptr}});
    old.swap(_slots);
    _table = _slots.data();
    _mask = wanted - 1;
    _shift = shift;
    for (const Slot& slot : old) {
        if (slot.pools[0] != nullptr) {
            SlotFor(slot.chunk) = slot;
        }
    }
}

void StPoolDirectory::Insert(StPoolRecord* record) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(record->pool.arenaStart) >> kChunkShift;
    const uintptr_t last = (reinterpret_cast<uintptr_t>(record->pool.arenaEnd) - 1) >> kChunkShift;
    for (uintptr_t chunk = first; chunk <= last; ++chunk) {
        Slot& slot = SlotFor(chunk);
        if (slot.pools[0] == nullptr) {
            slot.chunk = chunk;
            slot.pools[0] = record;
            ++_used;
        } else {
            assert(slot.pools[1] == nullptr);
            slot.pools[1] = record;
        }
    }
    assert(_used * 2 <= _slots.size());
}
