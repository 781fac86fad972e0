// event_system.h: CEventSystem, the process's event dispatcher: handler list, timer list,
// event queue, and the dispatcher thread that delivers queued events.
//
// Locks, in the only order they nest: _timerLock, then _queueLock (a timer pass and SetTimer post
// while they hold the timer lock). _handlerLock is never held together with either of them, and no
// lock is held while a handler function runs, so handler functions may use every operation.
#pragma once

#include "events/base_thread.h"
#include "events/event_queue.h"
#include "events/spin_mutex.h"
#include "kvx/events.h"

#include <atomic>
#include <mutex>
#include <stdint.h>
#include <vector>

// One active timer.
struct TIMER_INFO {
    void* handle;
    uint64_t id;
    uint64_t period;   // ms
    uint64_t dueTime;  // ms since 1601-01-01 (UTC)
};

class CEventSystem : public CQVBaseThread {
public:
    CEventSystem();
    // Stops the dispatcher (StopAndWait), then releases the queue, the timers and the list.
    ~CEventSystem() override;

    // The process's instance, or null. Set by CreateEventSystem, cleared by DestroyEventSystem.
    static CEventSystem* Instance();
    static void SetInstance(CEventSystem* instance);

    // Registration (CreateEventHandler/DestroyEventHandler without the instance lookup).
    void* RegisterHandler(CEventHandler* handler);
    void UnregisterHandler(void* handle);

    // Appends to the queue.
    void Post(void* handle, uint64_t id, uint64_t param1, uint64_t param2);
    // The delivery rule on the calling thread; true when a function was called.
    bool Deliver(void* handle, uint64_t id, uint64_t param1, uint64_t param2);

    uint64_t SetTimer(void* handle, uint32_t periodMs);
    void KillTimer(void* handle, uint64_t timerId);
    // The timer pass at `nowMs`: posts EV_TIMER for every due timer, once each. When the queue
    // cannot grow the pass ends there, never throwing; the timers not served stay due.
    void FireDueTimers(uint64_t nowMs);

    // One dispatcher pass without its wait: the timer pass at the current clock, then the
    // delivery of the front queued event, if any. True when a function was called.
    bool DispatchOnePass();

    // For tests: snapshots and the queue's front, without side effects on delivery.
    std::vector<TIMER_INFO> GetTimers();
    size_t GetQueueLength();
    bool TakeFrontEvent(EVENT_RECORD* record);

    // The clock the timers use: UTC milliseconds since 1601, through the shiftable clock.
    static uint64_t NowMs();

protected:
    uint32_t Run(void* parameter) override;

private:
    uint64_t _nextTimerId;  // guarded by _timerLock
    // The timer list's length, written under _timerLock. A pass that reads 0 skips the timer
    // pass, clock read included: with no timer it has nothing to do.
    std::atomic<size_t> _timerCount;
    SRWLOCK _handlerLock;
    std::vector<EVENT_HANDLER_INFO*> _handlers;  // guarded by _handlerLock
    std::mutex _timerLock;
    std::vector<TIMER_INFO> _timers;  // guarded by _timerLock
    // On cache lines of their own: posting threads write here all the time, the dispatcher
    // writes the handler lock's word on every delivery.
    alignas(64) KvxSpinMutex _queueLock;
    KvxEventQueue _queue;  // guarded by _queueLock
};
