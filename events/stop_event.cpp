// stop_event.cpp: the stop event's creation and its failure switch for tests.
#include "events/stop_event.h"

#include <atomic>

namespace {
std::atomic<int> g_failuresLeft{0};
}

HANDLE KvxCreateStopEvent() {
    int left = g_failuresLeft.load(std::memory_order_relaxed);
    while (left > 0) {
        if (g_failuresLeft.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return nullptr;
        }
    }
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void KvxFailStopEvents(int count) {
    g_failuresLeft.store(count, std::memory_order_relaxed);
}
