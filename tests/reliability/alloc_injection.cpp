// alloc_injection.cpp: the test program's operator new and delete, and the raw heap observer,
// both counting and failing allocations for alloc_injection.h.
#include "alloc_injection.h"

#include "platform/runtime/raw_heap.h"
#include "platform/win32.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// The blocks taken while armed, in a fixed table: the bookkeeping must not allocate itself.
constexpr size_t kMaxLive = 1 << 16;
void* g_live[kMaxLive];
size_t g_liveCount = 0;
bool g_liveOverflow = false;
std::atomic<size_t> g_liveAtomic{0};
std::atomic_flag g_liveLock = ATOMIC_FLAG_INIT;

class LiveLock {
public:
    LiveLock() {
        while (g_liveLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~LiveLock() { g_liveLock.clear(std::memory_order_release); }
    LiveLock(const LiveLock&) = delete;
    LiveLock& operator=(const LiveLock&) = delete;
};

thread_local bool t_armed = false;
thread_local uint64_t t_count = 0;
thread_local uint64_t t_failAt = 0;
thread_local bool t_injected = false;
uint64_t g_lastCount = 0;

// True when this allocation is the one to fail.
bool Refuse() {
    if (!t_armed) {
        return false;
    }
    if (++t_count == t_failAt) {
        t_injected = true;
        return true;
    }
    return false;
}

void Remember(void* block) {
    if (!t_armed || block == nullptr) {
        return;
    }
    LiveLock lock;
    if (g_liveCount == kMaxLive) {
        g_liveOverflow = true;
        return;
    }
    g_live[g_liveCount++] = block;
    g_liveAtomic.store(g_liveCount, std::memory_order_relaxed);
}

void Forget(void* block) {
    if (block == nullptr || g_liveAtomic.load(std::memory_order_relaxed) == 0) {
        return;
    }
    LiveLock lock;
    for (size_t i = g_liveCount; i-- > 0;) {
        if (g_live[i] == block) {
            g_live[i] = g_live[--g_liveCount];
            g_liveAtomic.store(g_liveCount, std::memory_order_relaxed);
            return;
        }
    }
}

void* Take(size_t bytes) noexcept {
    if (Refuse()) {
        return nullptr;
    }
    void* block = std::malloc(bytes != 0 ? bytes : 1);
    Remember(block);
    return block;
}

void Give(void* block) noexcept {
    Forget(block);
    std::free(block);
}

// Aligned blocks come from _aligned_malloc, which every platform build has (the Windows C
// runtime's std::free cannot take them).
void* TakeAligned(size_t bytes, std::align_val_t alignment) noexcept {
    if (Refuse()) {
        return nullptr;
    }
    void* block = _aligned_malloc(bytes != 0 ? bytes : 1, static_cast<size_t>(alignment));
    Remember(block);
    return block;
}

void GiveAligned(void* block) noexcept {
    Forget(block);
    _aligned_free(block);
}

class Observer final : public KvxRawHeapObserver {
public:
    bool RefuseAllocation(size_t) noexcept override { return Refuse(); }
    void Allocated(void* block) noexcept override { Remember(block); }
    void Released(void* block) noexcept override { Forget(block); }
};

Observer g_observer;

struct InstallObserver {
    InstallObserver() { KvxSetRawHeapObserver(&g_observer); }
} g_install;

}  // namespace

namespace kvx_alloc {

Armed::Armed(uint64_t failAt) {
    t_count = 0;
    t_failAt = failAt;
    t_injected = false;
    t_armed = true;
}

Armed::~Armed() {
    Disarm();
}

bool Armed::Disarm() {
    if (_armed) {
        _armed = false;
        t_armed = false;
        g_lastCount = t_count;
    }
    return t_injected;
}

size_t LiveBlocks() {
    LiveLock lock;
    return g_liveOverflow ? kMaxLive + 1 : g_liveCount;
}

uint64_t LastCount() {
    return g_lastCount;
}

}  // namespace kvx_alloc

// The replaceable allocation functions, the aligned forms included (the event system's
// instance is aligned to a cache line).
void* operator new(size_t bytes) {
    if (void* block = Take(bytes)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t bytes) {
    if (void* block = Take(bytes)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return Take(bytes);
}

void* operator new[](size_t bytes, const std::nothrow_t&) noexcept {
    return Take(bytes);
}

void operator delete(void* block) noexcept {
    Give(block);
}

void operator delete[](void* block) noexcept {
    Give(block);
}

void operator delete(void* block, size_t) noexcept {
    Give(block);
}

void operator delete[](void* block, size_t) noexcept {
    Give(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    Give(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Give(block);
}

void* operator new(size_t bytes, std::align_val_t alignment) {
    if (void* block = TakeAligned(bytes, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](size_t bytes, std::align_val_t alignment) {
    if (void* block = TakeAligned(bytes, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new(size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return TakeAligned(bytes, alignment);
}

void* operator new[](size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return TakeAligned(bytes, alignment);
}

void operator delete(void* block, std::align_val_t) noexcept {
    GiveAligned(block);
}

void operator delete[](void* block, std::align_val_t) noexcept {
    GiveAligned(block);
}

void operator delete(void* block, size_t, std::align_val_t) noexcept {
    GiveAligned(block);
}

void operator delete[](void* block, size_t, std::align_val_t) noexcept {
    GiveAligned(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    GiveAligned(block);
}

void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    GiveAligned(block);
}
