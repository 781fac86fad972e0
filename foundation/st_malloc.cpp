// st_malloc.cpp: the exported entries _st_malloc and _st_free over the process's allocator.
//
// The allocator lives in a function-local static that a namespace-scope object creates while
// the library is being loaded, so its lock exists before any host code runs, and the runtime
// destroys it when the library is unloaded (dlclose or process exit for libkvx.so,
// DLL_PROCESS_DETACH for kvx.dll, exit for programs that link the objects directly). The same
// code serves all three without an entry point of its own; a host static initialiser that
// runs first still finds the allocator, because the first call creates it.
#include "foundation/st_allocator.h"
#include "kvx/foundation.h"

#include <atomic>

namespace {

std::atomic<bool> g_unloaded{false};

class ProcessAllocator {
public:
    ~ProcessAllocator() { g_unloaded.store(true, std::memory_order_relaxed); }
    StAllocator allocator;
};

const struct LoadTimeStart {
    LoadTimeStart() { StProcessAllocator(); }
} g_loadTimeStart;

}  // namespace

StAllocator* StProcessAllocator() {
    if (g_unloaded.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    static ProcessAllocator instance;
    return &instance.allocator;
}

void* _st_malloc(size_t size) {
    StAllocator* allocator = StProcessAllocator();
    return allocator != nullptr ? allocator->Allocate(size) : nullptr;
}

void _st_free(void* block) {
    if (StAllocator* allocator = StProcessAllocator()) {
        allocator->Release(block);
    }
}
