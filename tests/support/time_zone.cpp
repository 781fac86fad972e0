// time_zone.cpp: KvxScopedTimeZone for POSIX and Windows runtimes.
#include "support/time_zone.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#if defined(_WIN32)
namespace {
// The zone came from the environment at process start; it cannot be changed later.
bool SetZone(const char* zone) {
    const char* current = std::getenv("TZ");
    return zone != nullptr && current != nullptr && std::strcmp(zone, current) == 0;
}
}  // namespace
#else
namespace {
bool SetZone(const char* zone) {
    if (zone != nullptr) {
        setenv("TZ", zone, 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    return true;
}
}  // namespace
#endif

KvxScopedTimeZone::KvxScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    _had = old != nullptr;
    _old = old != nullptr ? old : "";
    _applied = SetZone(zone);
}

KvxScopedTimeZone::~KvxScopedTimeZone() {
    if (_applied) {
        SetZone(_had ? _old.c_str() : nullptr);
    }
}
