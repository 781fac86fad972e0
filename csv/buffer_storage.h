// buffer_storage.h: storage for the CSV reader's buffers, with a switch that lets tests make
// an allocation fail, as it would when memory runs out.
#pragma once

#include <cstdint>

// new[] of `bytes` bytes; null when memory is short (or a test asked for a failure).
char* KvxCsvAllocateStorage(uint64_t bytes);

// For tests: the next `successes` allocations succeed and the ones after them fail, until
// called again with -1 (never fail, the default).
void KvxCsvFailAllocationsAfter(int successes);
