// caching_alloc.cpp: Concurrency::Alloc/Free, a small per-thread cache over malloc.
//
// Each block carries a 16-byte header with its size class, so Free needs no size. Blocks of up
// to kMaxCachedBytes go back to the freeing thread's list for their class (at most
// kMaxPerClass each); a thread's lists are returned to the heap when the thread ends. Under
// AddressSanitizer the cache is bypassed so that a use after free is still caught.
#include "platform/runtime/raw_heap.h"
#include "platform/runtime/runtime_api.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define KVX_CACHE_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVX_CACHE_BYPASS 1
#endif
#endif
#ifndef KVX_CACHE_BYPASS
#define KVX_CACHE_BYPASS 0
#endif

namespace {

constexpr size_t kHeaderBytes = 16;
constexpr size_t kClassBytes = 128;
constexpr size_t kClassCount = 32;
constexpr size_t kMaxCachedBytes = kClassBytes * kClassCount;  // 4 KiB
constexpr uint32_t kLargeClass = 0xFFFFFFFFu;
constexpr uint32_t kMaxPerClass = 16;

struct alignas(16) BlockHeader {
    uint32_t sizeClass;
};
static_assert(sizeof(BlockHeader) == kHeaderBytes);

struct FreeBlock {
    FreeBlock* next;
};

// Trivially destructible, so it stays usable while other thread-local objects are destroyed.
struct ThreadCache {
    FreeBlock* heads[kClassCount];
    uint32_t counts[kClassCount];
    int state;  // 0 not yet set up, 1 in use, 2 the thread is ending: no more caching
};
thread_local ThreadCache t_cache{};

void Drain(ThreadCache& cache) {
    for (size_t c = 0; c < kClassCount; ++c) {
        while (FreeBlock* block = cache.heads[c]) {
            cache.heads[c] = block->next;
            std::free(reinterpret_cast<char*>(block) - kHeaderBytes);
        }
        cache.counts[c] = 0;
    }
}

struct CacheReleaser {
    ~CacheReleaser() {
        t_cache.state = 2;
        Drain(t_cache);
    }
};
thread_local CacheReleaser t_releaser;

ThreadCache* UsableCache() {
    if (KVX_CACHE_BYPASS) {
        return nullptr;
    }
    ThreadCache& cache = t_cache;
    if (cache.state == 0) {
        (void)&t_releaser;  // registers the drain at thread exit
        cache.state = 1;
    }
    return cache.state == 1 ? &cache : nullptr;
}

}  // namespace

namespace Concurrency {

void* Alloc(size_t bytes) {
    if (KvxRawHeapRefuses(bytes)) {
        throw std::bad_alloc();
    }
    const uint32_t sizeClass =
        bytes <= kMaxCachedBytes ? static_cast<uint32_t>(bytes == 0 ? 0 : (bytes - 1) / kClassBytes)
                                 : kLargeClass;
    if (sizeClass != kLargeClass) {
        if (ThreadCache* cache = UsableCache(); cache != nullptr && cache->heads[sizeClass]) {
            FreeBlock* block = cache->heads[sizeClass];
            cache->heads[sizeClass] = block->next;
            --cache->counts[sizeClass];
            KvxRawHeapAllocated(block);
            return block;
        }
        bytes = (sizeClass + 1) * kClassBytes;
    } else if (bytes > SIZE_MAX - kHeaderBytes) {
        throw std::bad_alloc();
    }
    void* raw = std::malloc(kHeaderBytes + bytes);
    if (raw == nullptr) {
        throw std::bad_alloc();
    }
    static_cast<BlockHeader*>(raw)->sizeClass = sizeClass;
    KvxRawHeapAllocated(static_cast<char*>(raw) + kHeaderBytes);
    return static_cast<char*>(raw) + kHeaderBytes;
}

void Free(void* block) {
    if (block == nullptr) {
        return;
    }
    KvxRawHeapReleased(block);
    char* raw = static_cast<char*>(block) - kHeaderBytes;
    const uint32_t sizeClass = reinterpret_cast<BlockHeader*>(raw)->sizeClass;
    if (sizeClass != kLargeClass) {
        ThreadCache* cache = UsableCache();
        if (cache != nullptr && cache->counts[sizeClass] < kMaxPerClass) {
            FreeBlock* freed = static_cast<FreeBlock*>(block);
            freed->next = cache->heads[sizeClass];
            cache->heads[sizeClass] = freed;
            ++cache->counts[sizeClass];
            return;
        }
    }
    std::free(raw);
}

}  // namespace Concurrency
