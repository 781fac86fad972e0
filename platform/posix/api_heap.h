// api_heap.h: the POSIX layer's LocalAlloc/LocalFree, _aligned_malloc/_aligned_free.
#pragma once

#include "kvx/win32_types.h"

// --- Local heap (platform/posix/local_heap.cpp) ----------------------------------------------
// Fixed blocks only: an HLOCAL is the block's address.
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// A fixed block of `bytes` bytes (at least one), zeroed with LMEM_ZEROINIT. Returns null with
// last error 8 when memory runs out, or 87 for any other flag (movable blocks are not
// supported).
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Releases a block from LocalAlloc (or FormatMessageW); null does nothing. Returns null.
HLOCAL LocalFree(HLOCAL block);

// --- Aligned heap blocks (platform/posix/aligned_heap.cpp) -----------------------------------
// A block of `bytes` bytes (0 gives a unique block of its own) whose address is a multiple of
// `alignment`. Alignments below the pointer size are raised to it. Returns null with errno
// EINVAL when `alignment` is not a power of two, or ENOMEM when memory runs out. Release the
// block with _aligned_free only. Thread-safe.
void* _aligned_malloc(size_t bytes, size_t alignment);
// Releases a block from _aligned_malloc; null does nothing.
void _aligned_free(void* block);
