// event_test_util.h: helpers of the event-system tests: a call log that threads can wait on,
// handlers with hand-built or macro-built maps, and an event system for one test's duration.
#pragma once

#include "kvx/events.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// One call of a handler function as the log records it.
struct Call {
    int tag;  // which function ran
    uint64_t param1;
    uint64_t param2;
    DWORD thread;
    bool operator==(const Call& other) const {
        return tag == other.tag && param1 == other.param1 && param2 == other.param2;
    }
};

// A thread-safe log of calls; tests wait on it for a number of calls.
class CallLog {
public:
    void Add(int tag, uint64_t param1, uint64_t param2) {
        std::lock_guard<std::mutex> guard(_lock);
        _calls.push_back(Call{tag, param1, param2, GetCurrentThreadId()});
        _changed.notify_all();
    }
    // Waits until at least `count` calls are logged; false after 60 s without them (a bound
    // for failures only: a loaded machine running the Windows build under Wine is slow).
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> guard(_lock);
        return _changed.wait_for(guard, std::chrono::seconds(60),
                                 [&] { return _calls.size() >= count; });
    }
    // Waits until a logged call satisfies `match`; false after 60 s without one.
    template <class Match> bool WaitForCall(Match match) {
        std::unique_lock<std::mutex> guard(_lock);
        return _changed.wait_for(guard, std::chrono::seconds(60), [&] {
            for (const Call& call : _calls) {
                if (match(call)) {
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> guard(_lock);
        return _calls;
    }
    size_t Size() {
        std::lock_guard<std::mutex> guard(_lock);
        return _calls.size();
    }

private:
    std::mutex _lock;
    std::condition_variable _changed;
    std::vector<Call> _calls;
};

// A map function that logs its tag and arguments to the CallLog its object points to.
template <int Tag> void LogCall(void* object, uint64_t param1, uint64_t param2) {
    static_cast<CallLog*>(object)->Add(Tag, param1, param2);
}

// A handler whose registration record the test writes: key is set to the handle on
// registration, object and map are the test's.
class RecordHandler : public CEventHandler {
public:
    RecordHandler(void* object, const EVENT_MAP_ENTRY* map) : record{nullptr, object, map} {}
    EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
        record.key = handle;
        return &record;
    }
    EVENT_HANDLER_INFO record;
};

// Creates the event system for one test and destroys it at the end.
class EventSystemScope {
public:
    EventSystemScope() { EXPECT_EQ(CreateEventSystem(), kvx_error_none); }
    ~EventSystemScope() { EXPECT_EQ(DestroyEventSystem(), kvx_error_none); }
    EventSystemScope(const EventSystemScope&) = delete;
    EventSystemScope& operator=(const EventSystemScope&) = delete;
};

// A manual-reset event that handler functions block on until the test opens it.
class Gate {
public:
    Gate() : _event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() { CloseHandle(_event); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    void Open() { SetEvent(_event); }
    // True once open; false after `ms` without.
    bool Wait(DWORD ms = 60000) { return WaitForSingleObject(_event, ms) == WAIT_OBJECT_0; }

private:
    HANDLE _event;
};
