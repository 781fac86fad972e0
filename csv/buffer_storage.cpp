// buffer_storage.cpp: buffer allocation for the CSV reader.
#include "csv/buffer_storage.h"

#include <atomic>
#include <new>

namespace {
std::atomic<int> g_successesLeft{-1};
}

char* KvxCsvAllocateStorage(uint64_t bytes) {
    int left = g_successesLeft.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (left == 0) {
            return nullptr;
        }
        if (g_successesLeft.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            break;
        }
    }
    return new (std::nothrow) char[bytes];
}

void KvxCsvFailAllocationsAfter(int successes) {
    g_successesLeft.store(successes, std::memory_order_relaxed);
}
