// arena_recorder.h: an arena source for StAllocator that records the arenas it hands out, in
// order, and can be told to fail or to cut contiguous arenas from one slab.
#pragma once

#include "foundation/st_allocator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ArenaRecorder {
public:
    // contiguousSlabArenas > 0: arenas follow one another in a slab, 8 bytes past a 64 KiB
    // boundary, so neighbouring arenas touch and share 64 KiB chunks. Beyond that many, or with
    // 0, arenas come from _aligned_malloc.
    explicit ArenaRecorder(size_t contiguousSlabArenas = 0);
    ~ArenaRecorder();
    ArenaRecorder(const ArenaRecorder&) = delete;
    ArenaRecorder& operator=(const ArenaRecorder&) = delete;

    StAllocator::ArenaSource Source() { return StAllocator::ArenaSource{&Obtain, &Release, this}; }

    // The pool index and arena offset of an address, or {SIZE_MAX, 0} outside every arena.
    struct Place {
        size_t pool;
        uint64_t offset;
    };
    Place Locate(const void* address) const;

    const std::vector<uint8_t*>& Arenas() const { return _arenas; }
    size_t Released() const { return _released; }
    bool failing = false;

private:
    static void* Obtain(void* context);
    static void Release(void* context, void* arena);

    std::vector<uint8_t*> _arenas;
    size_t _released = 0;
    uint8_t* _slab = nullptr;
    size_t _slabArenas = 0;
};
