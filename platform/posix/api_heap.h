// api_heap.h: the POSIX layer's LocalAlloc/LocalFree, _aligned_malloc/_aligned_free.
#pragma once

#include "kvx/win32_types.h"
