// aligned_heap.cpp: _aligned_malloc/_aligned_free over posix_memalign.
#include "platform/win32.h"

#include <cerrno>
#include <cstdlib>

void* _aligned_malloc(size_t bytes, size_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        errno = EINVAL;
        return nullptr;
    }
    // posix_memalign wants a multiple of the pointer size; any larger power of two is one.
    if (alignment < sizeof(void*)) {
        alignment = sizeof(void*);
    }
    void* block = nullptr;
    const int result = posix_memalign(&block, alignment, bytes != 0 ? bytes : 1);
    if (result != 0) {
        errno = result;
        return nullptr;
    }
    return block;
}

void _aligned_free(void* block) {
    std::free(block);
}
