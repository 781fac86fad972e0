// arena_recorder.cpp: the recording arena source.
#include "arena_recorder.h"

#include "platform/win32.h"

ArenaRecorder::ArenaRecorder(size_t contiguousSlabArenas) : _slabArenas(contiguousSlabArenas) {
    if (_slabArenas > 0) {
        _slab = static_cast<uint8_t*>(
            _aligned_malloc(_slabArenas * kStArenaBytes + kStArenaBytes, kStArenaBytes));
    }
}

ArenaRecorder::~ArenaRecorder() {
    _aligned_free(_slab);
}

void* ArenaRecorder::Obtain(void* context) {
    auto* self = static_cast<ArenaRecorder*>(context);
    if (self->failing) {
        return nullptr;
    }
    uint8_t* arena;
    if (self->_slab != nullptr && self->_arenas.size() < self->_slabArenas) {
        arena = self->_slab + 8 + self->_arenas.size() * kStArenaBytes;
    } else {
        arena = static_cast<uint8_t*>(_aligned_malloc(kStArenaBytes, kStArenaAlignment));
    }
    self->_arenas.push_back(arena);
    return arena;
}

void ArenaRecorder::Release(void* context, void* arena) {
    auto* self = static_cast<ArenaRecorder*>(context);
    ++self->_released;
    auto* bytes = static_cast<uint8_t*>(arena);
    if (self->_slab == nullptr || bytes < self->_slab ||
        bytes >= self->_slab + self->_slabArenas * kStArenaBytes + kStArenaBytes) {
        _aligned_free(arena);
    }
}

ArenaRecorder::Place ArenaRecorder::Locate(const void* address) const {
    auto* bytes = static_cast<const uint8_t*>(address);
    for (size_t i = 0; i < _arenas.size(); ++i) {
        if (_arenas[i] <= bytes && bytes < _arenas[i] + kStArenaBytes) {
            return {i, static_cast<uint64_t>(bytes - _arenas[i])};
        }
    }
    return {SIZE_MAX, 0};
}
