// event_queue.h: the event queue's storage: an unbounded first-in first-out ring of
// EVENT_RECORD values.
//
// Records live in one array used as a ring that doubles when full, so a steady stream of posts
// allocates nothing and touches no new memory once the ring is large enough. The ring is kept
// when the queue runs empty, up to kKeptRecords records (32 MiB): a host that posts bursts
// pays for the memory once. A larger ring, left by an exceptional backlog, is given back when
// the queue runs empty. Not thread-safe: the event system's queue lock guards it.
#pragma once

#include "kvx/events.h"

#include <memory>
#include <stddef.h>

class KvxEventQueue {
public:
    // Appends a copy. Throws std::bad_alloc when the ring cannot grow; the queue is unchanged.
    void PushBack(const EVENT_RECORD& record);
    // Moves the front record to *record; false when the queue is empty.
    bool PopFront(EVENT_RECORD* record);
    size_t Size() const { return _count; }

    // Rings up to this many records are kept when the queue runs empty.
    static constexpr size_t kKeptRecords = size_t{1} << 20;

private:
    void Grow();

    std::unique_ptr<EVENT_RECORD[]> _ring;
    size_t _capacity = 0;  // a power of two, or 0
    size_t _head = 0;      // index of the front record
    size_t _count = 0;
};
