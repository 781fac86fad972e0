// timers.cpp: CEventSystem's timer list: SetTimer, KillTimer and the dispatcher's timer pass.
#include "events/event_system.h"

#include <algorithm>
#include <new>

uint64_t CEventSystem::SetTimer(void* handle, uint32_t periodMs) {
    // All under the timer lock (the queue lock nests inside it, as in the timer pass), and
    // every step that can run out of memory before the list changes: a failed call leaves no
    // timer and no EV_TIMER behind, and the dispatcher never sees a half-made timer.
    std::lock_guard<std::mutex> guard(_timerLock);
    if (_timers.size() == _timers.capacity()) {
        _timers.reserve(_timers.empty() ? 4 : _timers.size() * 2);
    }
    const uint64_t id = _nextTimerId;
    Post(handle, EV_TIMER, id, 0);
    _timers.push_back(TIMER_INFO{handle, id, periodMs, NowMs()});
    _timerCount.store(_timers.size(), std::memory_order_relaxed);
    ++_nextTimerId;
    return id;
}

void CEventSystem::KillTimer(void* handle, uint64_t timerId) {
    std::lock_guard<std::mutex> guard(_timerLock);
    const auto found = std::find_if(_timers.begin(), _timers.end(), [&](const TIMER_INFO& t) {
        return t.handle == handle && t.id == timerId;
    });
    if (found != _timers.end()) {
        _timers.erase(found);
        _timerCount.store(_timers.size(), std::memory_order_relaxed);
    }
}

void CEventSystem::FireDueTimers(uint64_t nowMs) {
    std::lock_guard<std::mutex> guard(_timerLock);
    for (TIMER_INFO& timer : _timers) {
        // Due time moves by one period per firing, not to now + period: a timer that fell
        // behind catches up one event per pass.
        if (timer.dueTime <= nowMs) {
            try {
                Post(timer.handle, EV_TIMER, timer.id, 0);
            } catch (const std::bad_alloc&) {
                // On the dispatcher thread nobody could catch it: end the pass, the due time
                // unchanged, and let a later pass post the event.
                return;
            }
            timer.dueTime += timer.period;
        }
    }
}

std::vector<TIMER_INFO> CEventSystem::GetTimers() {
    std::lock_guard<std::mutex> guard(_timerLock);
    return _timers;
}
