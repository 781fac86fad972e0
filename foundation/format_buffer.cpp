// format_buffer.cpp: CFormatBuffer, growable 8-bit text with printf-style appending.
#include "kvx/foundation.h"

#include "platform/runtime/raw_heap.h"
#include "platform/runtime/runtime_api.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr uint64_t kGrowthStep = 256;
}

CFormatBuffer::CFormatBuffer(uint64_t initialCapacity)
    : _capacity(0), _length(0), _storage(nullptr) {
    if (initialCapacity != 0) {
        _storage = static_cast<char*>(KvxRawAlloc(static_cast<size_t>(initialCapacity)));
        if (_storage == nullptr) {
            throw std::bad_alloc();
        }
        _storage[0] = '\0';
        _capacity = initialCapacity;
    }
}

CFormatBuffer::~CFormatBuffer() {
    KvxRawFree(_storage);
}

void CFormatBuffer::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CFormatBuffer::AppendFormatV(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    // Format straight into the free room when there is some: the growth decision below is the
    // same as measuring first, and a text that fits costs one pass.
    int measured;
    if (_storage != nullptr) {
        measured = KvxFormatNarrowV(_storage + _length, static_cast<size_t>(_capacity - _length),
                                    format, args);
    } else {
        measured = KvxFormatNarrowV(nullptr, 0, format, args);
    }
    if (measured < 0) {
        if (_storage != nullptr) {
            _storage[_length] = '\0';
        }
        va_end(again);
        return;
    }
    const uint64_t total = _length + 1 + static_cast<uint64_t>(measured);
    if (total <= _capacity) {
        _length += static_cast<uint64_t>(measured);
        va_end(again);
        return;
    }
    const uint64_t capacity = total / kGrowthStep * kGrowthStep + kGrowthStep;
    char* storage = static_cast<char*>(KvxRawAlloc(static_cast<size_t>(capacity)));
    if (storage == nullptr) {
        if (_storage != nullptr) {
            _storage[_length] = '\0';
        }
        va_end(again);
        throw std::bad_alloc();
    }
    if (_storage != nullptr) {
        _storage[_length] = '\0';  // the cut attempt above wrote behind the text
        std::memcpy(storage, _storage, static_cast<size_t>(_length + 1));
        KvxRawFree(_storage);
    }
    _storage = storage;
    _capacity = capacity;
    const int written = KvxFormatNarrowV(_storage + _length,
                                         static_cast<size_t>(_capacity - _length), format, again);
    va_end(again);
    if (written > 0) {
        const uint64_t room = _capacity - _length - 1;
        _length += static_cast<uint64_t>(written) < room ? static_cast<uint64_t>(written) : room;
    }
    _storage[_length] = '\0';
}

void CFormatBuffer::Clear() {
    _length = 0;
    if (_storage != nullptr) {
        _storage[0] = '\0';
    }
}
