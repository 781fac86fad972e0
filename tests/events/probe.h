// probe.h: a message-map handler for the tests with a live dispatcher. It logs every event it
// receives with the event id as tag; the kHook event first runs the test's hook.
#pragma once

#include "event_test_util.h"

#include <functional>

inline constexpr uint32_t kUser = 1;  // logged
inline constexpr uint32_t kHook = 2;  // runs `hook`, then logged

class Probe : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCreate(uint64_t a, uint64_t b) { log.Add(EV_CREATE, a, b); }
    void OnDestroy(uint64_t a, uint64_t b) { log.Add(EV_DESTROY, a, b); }
    void OnTimer(uint64_t a, uint64_t b) { log.Add(EV_TIMER, a, b); }
    void OnUser(uint64_t a, uint64_t b) { log.Add(kUser, a, b); }
    void OnHook(uint64_t a, uint64_t b);

    // Calls logged with this tag.
    std::vector<Call> Calls(int tag);

    CallLog log;
    std::function<void(uint64_t, uint64_t)> hook;
};
