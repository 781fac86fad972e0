// st_pool_directory.cpp: the chunk-to-arena hash table.
#include "foundation/st_pool_directory.h"

#include <cassert>

namespace {

constexpr int kChunkShift = 16;  // 64 KiB chunks
constexpr uint64_t kHashFactor = 0x9E3779B97F4A7C15ull;

}  // namespace

size_t StPoolDirectory::Home(uintptr_t chunk) const {
    return static_cast<size_t>((uint64_t{chunk} * kHashFactor) >> _shift);
}

StPoolDirectory::Slot& StPoolDirectory::SlotFor(uintptr_t chunk) {
    const size_t mask = _slots.size() - 1;
    size_t i = Home(chunk);
    while (_slots[i].pools[0] != nullptr && _slots[i].chunk != chunk) {
        i = (i + 1) & mask;
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

StPoolRecord* StPoolDirectory::Find(uintptr_t address) const {
    if (_slots.empty()) {
        return nullptr;
    }
    const uintptr_t chunk = address >> kChunkShift;
    const size_t mask = _slots.size() - 1;
    for (size_t i = Home(chunk); _slots[i].pools[0] != nullptr; i = (i + 1) & mask) {
        const Slot& slot = _slots[i];
        if (slot.chunk == chunk) {
            for (StPoolRecord* record : slot.pools) {
                if (record != nullptr && record->Contains(address)) {
                    return record;
                }
            }
            return nullptr;
        }
    }
    return nullptr;
}
