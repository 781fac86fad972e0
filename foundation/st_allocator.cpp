// st_allocator.cpp: carving blocks out of pools and merging them back.
#include "foundation/st_allocator.h"

#include "platform/runtime/raw_heap.h"

#include <cassert>
#include <cstring>
#include <memory>

namespace {

class Lock {
public:
    explicit Lock(CRITICAL_SECTION& section) : _section(section) {
        EnterCriticalSection(&_section);
    }
    ~Lock() { LeaveCriticalSection(&_section); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& _section;
};

// Arenas are raw heap blocks like the library's others: a test build can watch them and make
// the platform refuse one.
void* ObtainAlignedArena(void*) {
    if (KvxRawHeapRefuses(kStArenaBytes)) {
        return nullptr;
    }
    void* const arena = _aligned_malloc(kStArenaBytes, kStArenaAlignment);
    KvxRawHeapAllocated(arena);
    return arena;
}

void ReleaseAlignedArena(void*, void* arena) {
    KvxRawHeapReleased(arena);
    _aligned_free(arena);
}

void PushFront(ST_BLOCK*& head, ST_BLOCK* block) {
    block->previous = nullptr;
    block->next = head;
    if (head != nullptr) {
        head->previous = block;
    }
    head = block;
}

void Unlink(ST_BLOCK*& head, ST_BLOCK* block) {
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        head = block->next;
    }
    if (block->next != nullptr) {
        block->next->previous = block->previous;
    }
}

// The header of the new block that `size` bytes take from `freeBlock` (its tail, or all of
// it) is written below: its cache lines are asked for at once, so that they arrive while the
// indexes are updated instead of while the lock waits for the writes. (The caller's bytes are
// written in one sweep after the lock is left, which the processor streams on its own.)
void PrefetchHeader(const ST_BLOCK* freeBlock, uint64_t size) {
    const auto* start = reinterpret_cast<const uint8_t*>(freeBlock);
    if (freeBlock->usableSize > size + kStBlockOverhead) {
        start += freeBlock->blockSize - StBlockSizeFor(size);
    }
    __builtin_prefetch(start, 1);
    __builtin_prefetch(start + kStHeaderBytes - 1, 1);
}

// A free block's usable size and extent follow its size.
void Resize(ST_BLOCK* block, uint64_t blockSize) {
    block->blockSize = blockSize;
    block->usableSize = blockSize - kStBlockOverhead;
    block->extent = reinterpret_cast<uintptr_t>(block) + blockSize;
}

}  // namespace

StAllocator::ArenaSource StAllocator::PlatformArenas() {
    return ArenaSource{&ObtainAlignedArena, &ReleaseAlignedArena, nullptr};
}

StAllocator::StAllocator(ArenaSource source) : _source(source) {
    InitializeCriticalSectionAndSpinCount(&_lock, kSpinCount);
}

StAllocator::~StAllocator() {
    for (StPoolRecord* record : _pools) {
        _source.release(_source.context, record->pool.arenaStart);
        delete record;
    }
    DeleteCriticalSection(&_lock);
}

size_t StAllocator::AddPool() {
    // Room first, so that nothing can fail once the arena is taken.
    const size_t index = _pools.size();
    _pools.reserve(index + 1);
    _fit.Reserve(index + 1);
    _directory.Reserve(index + 1);
    auto record = std::make_unique<StPoolRecord>();

    auto* arena = static_cast<uint8_t*>(_source.obtain(_source.context));
    if (arena == nullptr) {
        return StPoolFitTree::kNone;
    }
    record->pool.arenaStart = arena;
    record->pool.arenaEnd = arena + kStArenaBytes;
    record->pool.freeList = nullptr;
    record->pool.usedList = nullptr;
    record->index = index;
    auto* block = reinterpret_cast<ST_BLOCK*>(arena);
    block->mark = kStFreeMark;
    Resize(block, kStArenaBytes);
    PushFront(record->pool.freeList, block);
    record->free.Added(arena, block);
    record->starts.Set(0);

    _fit.Append(record->free.Largest(block));
    _directory.Insert(record.get());
    _pools.push_back(record.release());
    return index;
}

void* StAllocator::Allocate(size_t size) {
    if (size == 0 || size > kStMaxRequest) {
        return nullptr;
    }
    uint8_t* bytes;
    {
        Lock lock(_lock);
        size_t index = _fit.FindFirst(size);
        if (index == StPoolFitTree::kNone) {
            index = AddPool();
            if (index == StPoolFitTree::kNone) {
                return nullptr;
            }
        }
        StPoolRecord& record = *_pools[index];
        _recent = &record;
        ST_BLOCK* fit = record.free.FirstFit(record.pool.arenaStart, record.pool.freeList, size);
        assert(fit != nullptr);
        PrefetchHeader(fit, size);
        bytes = Carve(record, fit, size);
        _fit.Lower(index, record.free.Largest(record.pool.freeList));
    }
    // The caller's bytes and the trailing guard are written after the lock is left: no other
    // call reads them, and the block is the caller's alone from here. Filling them under the
    // lock would make every other thread wait for it, and the lock's own atomic operations
    // wait for the fill's stores to reach the cache.
    std::memset(bytes, kStFillByte, size);
    std::memcpy(bytes + size, &kStTailGuard, sizeof(kStTailGuard));
    return bytes;
}

inline uint8_t* StAllocator::Carve(StPoolRecord& record, ST_BLOCK* freeBlock, uint64_t size) {
    ST_BLOCK* block;
    uint64_t granted;
    if (freeBlock->usableSize > size + kStBlockOverhead) {
        granted = size;
        Resize(freeBlock, freeBlock->blockSize - StBlockSizeFor(size));
        record.free.Resized(freeBlock, record.pool.freeList);
        block = reinterpret_cast<ST_BLOCK*>(freeBlock->extent);
        record.starts.Set(record.GranuleOf(block));
    } else {
        granted = freeBlock->usableSize;
        record.free.Removed(freeBlock, record.pool.freeList);
        Unlink(record.pool.freeList, freeBlock);
        block = freeBlock;
    }
    block->mark = kStUsedMark;
    PushFront(record.pool.usedList, block);
    block->blockSize = StBlockSizeFor(granted);
    block->usableSize = granted;
    block->extent = size;
    block->reserved = 0;
    block->frontGuard = kStFrontGuard;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(block) + kStHeaderBytes;
    block->tailGuard = reinterpret_cast<uint32_t*>(bytes + size);
    return bytes;
}

void StAllocator::Release(void* bytes) {
    if (bytes == nullptr) {
        return;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(bytes) - kStHeaderBytes;
    // The header is needed first thing under the lock: start loading it while the lock is
    // taken. A prefetch never faults, even for an address that is no block.
    __builtin_prefetch(reinterpret_cast<const void*>(start));
    Lock lock(_lock);
    // A block is often released into the pool the last call used (a run of releases in
    // reverse order of allocation): that one is checked before the directory.
    StPoolRecord* record = _recent;
    if (record == nullptr || !record->Contains(start)) {
        record = _directory.Find(start);
        if (record == nullptr) {
            return;
        }
        _recent = record;
    }
    const uintptr_t offset = start - reinterpret_cast<uintptr_t>(record->pool.arenaStart);
    if (offset % kStGranule != 0 ||
        !record->starts.Test(static_cast<uint32_t>(offset / kStGranule))) {
        return;
    }
    auto* block = reinterpret_cast<ST_BLOCK*>(start);
    if (block->mark != kStUsedMark) {
        return;
    }
    Unlink(record->pool.usedList, block);
    Merge(*record, block);
    _fit.Raise(record->index, record->free.Largest(record->pool.freeList));
}

inline void StAllocator::Merge(StPoolRecord& record, ST_BLOCK* released) {
    ST_BLOCK* const head = record.pool.freeList;
    const uint32_t granule = record.GranuleOf(released);
    // The header behind may be needed after the one in front: load both at once. (Past the
    // arena end the prefetch is useless but harmless: it never faults.)
    __builtin_prefetch(reinterpret_cast<uint8_t*>(released) + released->blockSize);
    // The block in front is free if the free list holds one that ends where the released block
    // begins. The head is the likeliest (a run of releases in reverse order of allocation) and
    // the cheapest to check; otherwise the map of block starts names the block in front.
    ST_BLOCK* front = nullptr;
    if (head != nullptr && head->extent == reinterpret_cast<uintptr_t>(released)) {
        front = head;
    } else if (granule != 0) {
        const uint32_t before = record.starts.Previous(granule);
        if (before != StBlockStarts::kNone && record.BlockAt(before)->mark == kStFreeMark) {
            front = record.BlockAt(before);
        }
    }
    if (front != nullptr) {
        Resize(front, front->blockSize + released->blockSize);
        record.free.Resized(front, head);
        record.starts.Clear(granule);
        return;
    }
    // The released block goes to the head of the free list with the free block behind it, if
    // any, already taken in: the same list as putting it there first and then taking that
    // block out, with fewer index updates.
    uint64_t size = released->blockSize;
    auto* after = reinterpret_cast<uint8_t*>(released) + size;
    if (after < record.pool.arenaEnd) {
        auto* back = reinterpret_cast<ST_BLOCK*>(after);
        if (back->mark == kStFreeMark) {
            size += back->blockSize;
            record.free.Removed(back, head);
            Unlink(record.pool.freeList, back);
            record.starts.Clear(record.GranuleOf(back));
        }
    }
    released->mark = kStFreeMark;
    Resize(released, size);
    PushFront(record.pool.freeList, released);
    record.free.Added(record.pool.arenaStart, released);
}
