// system_clock.cpp: GetSystemTimeAsFileTime from CLOCK_REALTIME.
#include "platform/win32.h"

#include <time.h>

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kUnixEpochInFileTimeSeconds = 11644473600ULL;
}  // namespace

void GetSystemTimeAsFileTime(LPFILETIME fileTime) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t ticks =
        (static_cast<uint64_t>(now.tv_sec) + kUnixEpochInFileTimeSeconds) * 10000000ULL +
        static_cast<uint64_t>(now.tv_nsec) / 100U;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
