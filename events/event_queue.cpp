// event_queue.cpp: the ring behind the event queue.
#include "events/event_queue.h"

namespace {
constexpr size_t kFirstCapacity = 64;
}

void KvxEventQueue::PushBack(const EVENT_RECORD& record) {
    if (_count == _capacity) {
        Grow();
    }
    _ring[(_head + _count) & (_capacity - 1)] = record;
    ++_count;
}

bool KvxEventQueue::PopFront(EVENT_RECORD* record) {
    if (_count == 0) {
        return false;
    }
    *record = _ring[_head];
    _head = (_head + 1) & (_capacity - 1);
    if (--_count == 0 && _capacity > kKeptRecords) {
        _ring.reset();
        _capacity = 0;
        _head = 0;
    }
    return true;
}

void KvxEventQueue::Grow() {
    const size_t capacity = _capacity == 0 ? kFirstCapacity : _capacity * 2;
    std::unique_ptr<EVENT_RECORD[]> ring(new EVENT_RECORD[capacity]);
    // Unwrap: the front record goes to index 0.
    for (size_t i = 0; i < _count; ++i) {
        ring[i] = _ring[(_head + i) & (_capacity - 1)];
    }
    _ring = std::move(ring);
    _capacity = capacity;
    _head = 0;
}
