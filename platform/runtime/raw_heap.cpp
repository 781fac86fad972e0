// raw_heap.cpp: raw heap blocks over malloc, with the test observer's say.
#include "platform/runtime/raw_heap.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<KvxRawHeapObserver*> g_observer{nullptr};
}

void KvxSetRawHeapObserver(KvxRawHeapObserver* observer) noexcept {
    g_observer.store(observer, std::memory_order_release);
}

bool KvxRawHeapRefuses(size_t bytes) noexcept {
    KvxRawHeapObserver* observer = g_observer.load(std::memory_order_acquire);
    return observer != nullptr && observer->RefuseAllocation(bytes);
}

void KvxRawHeapAllocated(void* block) noexcept {
    if (KvxRawHeapObserver* observer = g_observer.load(std::memory_order_acquire)) {
        observer->Allocated(block);
    }
}

void KvxRawHeapReleased(void* block) noexcept {
    if (KvxRawHeapObserver* observer = g_observer.load(std::memory_order_acquire)) {
        observer->Released(block);
    }
}

void* KvxRawAlloc(size_t bytes) noexcept {
    if (KvxRawHeapRefuses(bytes)) {
        return nullptr;
    }
    void* block = std::malloc(bytes != 0 ? bytes : 1);
    if (block != nullptr) {
        KvxRawHeapAllocated(block);
    }
    return block;
}

void KvxRawFree(void* block) noexcept {
    if (block != nullptr) {
        KvxRawHeapReleased(block);
        std::free(block);
    }
}
