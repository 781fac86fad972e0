// time_zone.h: KvxScopedTimeZone, which puts a test under a given TZ.
#pragma once

#include <string>

// Off Windows: sets TZ (and makes the C library re-read it) until destruction, then restores
// the previous value. Windows reads the zone once, at process start, so there the zone is in
// effect only when the process was started with that TZ (the test CMakeLists runs such tests
// again under the zones they use); Applied() tells. Not for tests whose other threads read
// the zone meanwhile.
class KvxScopedTimeZone {
public:
    explicit KvxScopedTimeZone(const char* zone);
    ~KvxScopedTimeZone();
    KvxScopedTimeZone(const KvxScopedTimeZone&) = delete;
    KvxScopedTimeZone& operator=(const KvxScopedTimeZone&) = delete;

    // Whether the zone is in effect for this process.
    bool Applied() const { return _applied; }

private:
    bool _applied;
    bool _had;
    std::string _old;
};
