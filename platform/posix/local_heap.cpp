// local_heap.cpp: LocalAlloc/LocalFree for fixed blocks, over the raw heap.
#include "platform/runtime/raw_heap.h"
#include "platform/win32.h"

#include <cstring>

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~LMEM_ZEROINIT) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t size = bytes != 0 ? bytes : 1;
    void* block = KvxRawAlloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if ((flags & LMEM_ZEROINIT) != 0) {
        std::memset(block, 0, size);
    }
    return block;
}

HLOCAL LocalFree(HLOCAL block) {
    KvxRawFree(block);
    return nullptr;
}
