// event_system.cpp: CEventSystem's handler list, queue, delivery rule and dispatcher loop.
#include "events/event_system.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace {

std::atomic<CEventSystem*> g_instance{nullptr};

// Steps 2 to 5 of the delivery rule for a record already found: the map scan, then the call.
// `unlock` runs once the entry has been read and before the call.
template <class Unlock>
bool CallEntry(const EVENT_HANDLER_INFO* record, uint64_t id, uint64_t param1, uint64_t param2,
               Unlock unlock) {
    const EVENT_MAP_ENTRY* entry = record->map;
    if (entry == nullptr) {
        unlock();
        return false;
    }
    // The terminator (id 0) never matches; ids above 32 bits match nothing.
    for (; entry->id != 0; ++entry) {
        if (entry->id == id) {
            break;
        }
    }
    const EVENT_HANDLER_FUNCTION function = entry->function;
    if (entry->id == 0 || function == nullptr) {
        unlock();
        return false;
    }
    // Integer arithmetic: the object address is the client's business, even when odd.
    void* const object =
        reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(record->object) +
                                static_cast<uintptr_t>(static_cast<intptr_t>(entry->adjustment)));
    unlock();
    function(object, param1, param2);
    return true;
}

}  // namespace

CEventSystem::CEventSystem() : _nextTimerId(1), _timerCount(0), _handlerLock{} {
    InitializeSRWLock(&_handlerLock);
}

CEventSystem::~CEventSystem() {
    // The dispatcher uses every member below: it must be gone before they are.
    StopAndWait();
}

CEventSystem* CEventSystem::Instance() {
    return g_instance.load(std::memory_order_acquire);
}

void CEventSystem::SetInstance(CEventSystem* instance) {
    g_instance.store(instance, std::memory_order_release);
}

uint64_t CEventSystem::NowMs() {
    return KvxNowTicks() / 10000;
}

void* CEventSystem::RegisterHandler(CEventHandler* handler) {
    if (handler == nullptr) {
        return nullptr;
    }
    void* const handle = handler;
    EVENT_HANDLER_INFO* const record = handler->GetEventHandlerInfo(handle);
    if (record == nullptr) {
        return nullptr;
    }
    AcquireSRWLockExclusive(&_handlerLock);
    try {
        _handlers.push_back(record);
    } catch (...) {
        ReleaseSRWLockExclusive(&_handlerLock);
        throw;
    }
    ReleaseSRWLockExclusive(&_handlerLock);
    try {
        Post(handle, EV_CREATE, 0, 0);
    } catch (...) {
        // A handler without its EV_CREATE would be half registered: take the record back out
        // (the last copy of it, the one just added) before the caller sees the exception.
        AcquireSRWLockExclusive(&_handlerLock);
        const auto added = std::find(_handlers.rbegin(), _handlers.rend(), record);
        if (added != _handlers.rend()) {
            _handlers.erase(std::next(added).base());
        }
        ReleaseSRWLockExclusive(&_handlerLock);
        throw;
    }
    return handle;
}

void CEventSystem::UnregisterHandler(void* handle) {
    AcquireSRWLockExclusive(&_handlerLock);
    const auto first =
        std::find_if(_handlers.begin(), _handlers.end(),
                     [handle](const EVENT_HANDLER_INFO* r) { return r->key == handle; });
    if (first == _handlers.end()) {
        ReleaseSRWLockExclusive(&_handlerLock);
        return;
    }
    const EVENT_HANDLER_INFO* const record = *first;
    _handlers.erase(
        std::remove_if(first, _handlers.end(),
                       [handle](const EVENT_HANDLER_INFO* r) { return r->key == handle; }),
        _handlers.end());
    ReleaseSRWLockExclusive(&_handlerLock);
    CallEntry(record, EV_DESTROY, 0, 0, [] {});
}

void CEventSystem::Post(void* handle, uint64_t id, uint64_t param1, uint64_t param2) {
    const EVENT_RECORD record{handle, id, param1, param2};
    std::lock_guard<KvxSpinMutex> guard(_queueLock);
    _queue.PushBack(record);
}

bool CEventSystem::Deliver(void* handle, uint64_t id, uint64_t param1, uint64_t param2) {
    AcquireSRWLockShared(&_handlerLock);
    const EVENT_HANDLER_INFO* record = nullptr;
    for (const EVENT_HANDLER_INFO* candidate : _handlers) {
        if (candidate->key == handle) {
            record = candidate;
            break;
        }
    }
    if (record == nullptr) {
        ReleaseSRWLockShared(&_handlerLock);
        return false;
    }
    return CallEntry(record, id, param1, param2, [this] { ReleaseSRWLockShared(&_handlerLock); });
}

bool CEventSystem::TakeFrontEvent(EVENT_RECORD* record) {
    std::lock_guard<KvxSpinMutex> guard(_queueLock);
    return _queue.PopFront(record);
}

size_t CEventSystem::GetQueueLength() {
    std::lock_guard<KvxSpinMutex> guard(_queueLock);
    return _queue.Size();
}

bool CEventSystem::DispatchOnePass() {
    if (_timerCount.load(std::memory_order_relaxed) != 0) {
        FireDueTimers(NowMs());
    }
    EVENT_RECORD record;
    if (!TakeFrontEvent(&record)) {
        return false;
    }
    return Deliver(record.target, record.id, record.param1, record.param2);
}

uint32_t CEventSystem::Run(void*) {
    const HANDLE stop = GetStopEventHandle();
    if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
        return 0;
    }
    for (;;) {
        // After a delivered event only look at the stop event; after an idle or dropped pass
        // wait 1 ms on it. A failed wait counts as a time-out.
        const DWORD waitMs = DispatchOnePass() ? 0 : 1;
        if (WaitForSingleObject(stop, waitMs) == WAIT_OBJECT_0) {
            return 0;
        }
    }
}
