// st_allocator.h: the small-block allocator behind _st_malloc and _st_free.
//
// Blocks of 1 to 65456 bytes are carved out of 64 KiB arenas (pools). A request takes the first
// free block, in pool creation order and within a pool from the head of its free list (the
// most recently freed block first), whose usable size reaches it. When that size exceeds the
// request by more than 80 bytes the block is split: the new block is cut from its tail, so the
// free block keeps its place in the list. Otherwise the whole block is granted. A release
// merges the block into the free block right before it, or failing that takes the free block
// right after it into itself, never both. Pools are only ever added; they are returned when
// the allocator is destroyed, along with any blocks still allocated in them.
//
// Which block a request gets and how releases merge are fixed by those rules; the structures
// that find them are not. A max tree over each pool's largest free block finds the first pool
// that can serve; within it, a max tree over the free blocks numbered in list order finds the
// first that fits; a hash of 64 KiB chunks finds the pool of a released address; a bitmap of
// block starts per pool finds the block in front of a released one. Their cost grows at most
// with the logarithm of the number of pools, and not at all with the number of free blocks.
//
// Every member function takes the allocator's one lock (a critical section with spin count
// 1024), so any thread may call them at any time. Allocate fills the caller's bytes and writes
// the trailing guard after leaving it: the block is already the caller's, and no other call
// reads those bytes.
#pragma once

#include "foundation/st_block.h"
#include "foundation/st_pool_directory.h"
#include "foundation/st_pool_fit_tree.h"
#include "foundation/st_pool_record.h"
#include "platform/win32.h"

#include <cstddef>
#include <vector>

class StAllocator {
public:
    // Where arenas come from. `obtain` returns a 65536-byte block aligned to 8, or null when
    // none can be had; `release` takes one back.
    struct ArenaSource {
        void* (*obtain)(void* context);
        void (*release)(void* context, void* arena);
        void* context;
    };
    // Arenas from _aligned_malloc(65536, 8), returned with _aligned_free.
    static ArenaSource PlatformArenas();

    static constexpr DWORD kSpinCount = 1024;

    explicit StAllocator(ArenaSource source = PlatformArenas());
    // Returns every arena (blocks still allocated vanish with them) and deletes the lock.
    ~StAllocator();
    StAllocator(const StAllocator&) = delete;
    StAllocator& operator=(const StAllocator&) = delete;

    // The caller's bytes of a new block: `size` bytes filled with 0xAF, followed by the
    // trailing guard, at an address 4 bytes past a multiple of 8. Returns null, adding no pool,
    // for a size of 0 or above 65456; null as well when no pool can serve and the arena source
    // has no arena for a new one. Throws std::bad_alloc when there is no memory for the pool
    // bookkeeping (the lock is released and nothing has changed).
    void* Allocate(size_t size);
    // Gives back a block from Allocate. Null, an address in no arena, and an address inside an
    // arena that is not the caller's bytes of an allocated block (for instance a block released
    // before) are ignored.
    void Release(void* bytes);

    // The pools in creation order, for tests and diagnostics. Read them only while no other
    // thread uses the allocator.
    size_t PoolCount() const { return _pools.size(); }
    const ST_POOL& Pool(size_t index) const { return _pools[index]->pool; }

private:
    size_t AddPool();
    // Makes the block and returns its caller's bytes, not yet filled.
    uint8_t* Carve(StPoolRecord& record, ST_BLOCK* freeBlock, uint64_t size);
    void Merge(StPoolRecord& record, ST_BLOCK* released);

    ArenaSource _source;
    CRITICAL_SECTION _lock;
    std::vector<StPoolRecord*> _pools;  // creation order
    StPoolFitTree _fit;
    StPoolDirectory _directory;
    StPoolRecord* _recent = nullptr;  // the pool of the last allocation or release, or null
};

// The process's allocator: created when the library is loaded, destroyed when it is unloaded.
// Null once it has been destroyed.
StAllocator* StProcessAllocator();
