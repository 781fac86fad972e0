// raw_heap.h: the library's raw heap blocks (those not taken with operator new), obtained and
// returned in one place so that a test build can watch them and make any one of them fail.
#pragma once

#include <stddef.h>

// A block of `bytes` bytes (at least one) from the C heap; null when no memory is left or the
// installed observer refused it. Never throws.
void* KvxRawAlloc(size_t bytes) noexcept;
// Returns a block of KvxRawAlloc; null does nothing.
void KvxRawFree(void* block) noexcept;

// Sees every raw block of the library: the 8-bit text buffers, the blocks of
// Concurrency::Alloc, the small-block allocator's arenas and, off Windows, LocalAlloc's.
// Fault-injection tests install one to make the n-th allocation fail and to find blocks that are
// never returned; without one, the cost is one atomic load per allocation and per release.
class KvxRawHeapObserver {
public:
    // Asked before each allocation; true makes the allocation fail as if memory had run out.
    virtual bool RefuseAllocation(size_t bytes) noexcept = 0;
    virtual void Allocated(void* block) noexcept = 0;
    virtual void Released(void* block) noexcept = 0;

protected:
    ~KvxRawHeapObserver() = default;
};

// Installs `observer`, or removes it (null). Install it before the blocks it is to see are
// taken, while no other thread allocates; it must outlive its installation.
void KvxSetRawHeapObserver(KvxRawHeapObserver* observer) noexcept;

// For allocators that hand out blocks of their own (Concurrency::Alloc): ask, then report.
bool KvxRawHeapRefuses(size_t bytes) noexcept;
void KvxRawHeapAllocated(void* block) noexcept;
void KvxRawHeapReleased(void* block) noexcept;
