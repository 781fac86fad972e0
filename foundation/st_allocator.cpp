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
    record->free.Added(arena, block, block);
    record->starts.Set(0);

    _fit.Append(record->free.Largest());
    _directory.Insert(record.get());
    _pools.push_back(record.release());
    return index;
}

void* StAllocator::Allocate(size_t size) {
    if (size == 0 || size > kStMaxRequest) {
        return nullptr;
    }
    Lock lock(_lock);
    size_t index = _fit.FindFirst(size);
    if (index == StPoolFitTree::kNone) {
        index = AddPool();
        if (index == StPoolFitTree::kNone) {
            return nullptr;
        }
    }
    StPoolRecord& record = *_pools[index];
    ST_BLOCK* fit = record.free.FirstFit(record.pool.arenaStart, record.pool.freeList, size);
    assert(fit != nullptr);
    void* bytes = Carve(record, fit, size);
    _fit.Set(index, record.free.Largest());
    return bytes;
}

void* StAllocator::Carve(StPoolRecord& record, ST_BLOCK* freeBlock, uint64_t size) {
    ST_BLOCK* block;
    uint64_t granted;
    if (freeBlock->usableSize > size + kStBlockOverhead) {
        granted = size;
        Resize(freeBlock, freeBlock->blockSize - StBlockSizeFor(size));
        record.free.Resized(freeBlock);
        block = reinterpret_cast<ST_BLOCK*>(freeBlock->extent);
        record.starts.Set(record.GranuleOf(block));
    } else {
        granted = freeBlock->usableSize;
        record.free.Removed(freeBlock);
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
    std::memset(bytes, kStFillByte, size);
    std::memcpy(bytes + size, &kStTailGuard, sizeof(kStTailGuard));
    block->tailGuard = reinterpret_cast<uint32_t*>(bytes + size);
    return bytes;
}

void StAllocator::Release(void* bytes) {
    if (bytes == nullptr) {
        return;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(bytes) - kStHeaderBytes;
    Lock lock(_lock);
    // Releases often come in runs from one pool: try the last one before the directory.
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
    _fit.Set(record->index, record->free.Largest());
}

void StAllocator::Merge(StPoolRecord& record, ST_BLOCK* released) {
    const uint32_t granule = record.GranuleOf(released);
    const uint32_t before = granule == 0 ? StBlockStarts::kNone : record.starts.Previous(granule);
    if (before != StBlockStarts::kNone) {
        ST_BLOCK* front = record.BlockAt(before);
        if (front->mark == kStFreeMark) {
            Resize(front, front->blockSize + released->blockSize);
            record.free.Resized(front);
            record.starts.Clear(granule);
            return;
        }
    }
    // The released block goes to the head of the free list with the free block behind it, if
    // any, already taken in: the same list as putting it there first and then taking that
    // block out, with one index update fewer.
    uint64_t size = released->blockSize;
    auto* after = reinterpret_cast<uint8_t*>(released) + size;
    if (after < record.pool.arenaEnd) {
        auto* back = reinterpret_cast<ST_BLOCK*>(after);
        if (back->mark == kStFreeMark) {
            size += back->blockSize;
            record.free.Removed(back);
            Unlink(record.pool.freeList, back);
            record.starts.Clear(record.GranuleOf(back));
        }
    }
    released->mark = kStFreeMark;
    Resize(released, size);
    PushFront(record.pool.freeList, released);
    record.free.Added(record.pool.arenaStart, record.pool.freeList, released);
}
