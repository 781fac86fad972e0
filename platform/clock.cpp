// clock.cpp: the shiftable system clock shared by every part of the library.
#include "platform/win32.h"

#include <atomic>

namespace {
std::atomic<int64_t> g_clockShift{0};
}

uint64_t KvxNowTicks() {
    FILETIME raw{};
    GetSystemTimeAsFileTime(&raw);
    const uint64_t ticks = static_cast<uint64_t>(raw.dwLowDateTime) |
                           (static_cast<uint64_t>(raw.dwHighDateTime) << 32);
    return ticks + static_cast<uint64_t>(g_clockShift.load(std::memory_order_relaxed));
}

void KvxGetSystemTimeAsFileTime(LPFILETIME fileTime) {
    const uint64_t ticks = KvxNowTicks();
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

void KvxSetClockShift(int64_t ticks) {
    g_clockShift.store(ticks, std::memory_order_relaxed);
}

int64_t KvxGetClockShift() {
    return g_clockShift.load(std::memory_order_relaxed);
}
