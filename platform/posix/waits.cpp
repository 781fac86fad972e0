// waits.cpp: WaitForSingleObject and WaitForMultipleObjects over the waitable handle objects.
#include "platform/posix/waitable.h"
#include "platform/win32.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

// The current-process pseudo-handle (INVALID_HANDLE_VALUE): waitable, never signalled.
class ProcessPseudoObject : public KvxWaitable {
public:
    bool IsSignalledLocked() const override { return false; }
};

// The last waitable this thread looked up. A thread that waits on the same handle again and
// again (a worker polling its stop event) then skips the handle table; handles are never
// reused, so the handle value and the object's closed flag are enough to trust the entry.
struct LookupCache {
    HANDLE handle = nullptr;
    std::shared_ptr<KvxWaitable> object;
};
thread_local LookupCache t_lastWaitable;

// The object of a waitable handle, or null. The pointer stays valid until this thread's next
// lookup.
const std::shared_ptr<KvxWaitable>* FindWaitable(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        static const std::shared_ptr<KvxWaitable> process = std::make_shared<ProcessPseudoObject>();
        return &process;
    }
    LookupCache& cache = t_lastWaitable;
    if (cache.handle != handle || cache.object == nullptr || cache.object->IsClosed()) {
        cache.object = KvxHandleGet<KvxWaitable>(handle);
        cache.handle = handle;
    }
    return cache.object != nullptr ? &cache.object : nullptr;
}

// The result of one look at all objects under the sync lock, or WAIT_TIMEOUT if the wait is not
// satisfied yet.
DWORD CheckLocked(const std::shared_ptr<KvxWaitable>* objects, size_t count, bool waitAll) {
    if (waitAll) {
        for (size_t i = 0; i < count; ++i) {
            if (!objects[i]->IsSignalledLocked()) {
                return WAIT_TIMEOUT;
            }
        }
        for (size_t i = 0; i < count; ++i) {
            objects[i]->ConsumeLocked();
        }
        return WAIT_OBJECT_0;
    }
    for (size_t i = 0; i < count; ++i) {
        if (objects[i]->IsSignalledLocked()) {
            objects[i]->ConsumeLocked();
            return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        }
    }
    return WAIT_TIMEOUT;
}

DWORD WaitOn(const std::shared_ptr<KvxWaitable>* objects, size_t count, bool waitAll,
             DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(KvxSyncLock());
    DWORD result = CheckLocked(objects, count, waitAll);
    if (result != WAIT_TIMEOUT || milliseconds == 0) {
        return result;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    KvxWaiter waiter;
    for (size_t i = 0; i < count; ++i) {
        objects[i]->AddWaiterLocked(&waiter);
    }
    for (;;) {
        if (milliseconds == INFINITE) {
            waiter.wake.wait(guard);
        } else if (waiter.wake.wait_until(guard, deadline) == std::cv_status::timeout) {
            result = CheckLocked(objects, count, waitAll);
            break;
        }
        result = CheckLocked(objects, count, waitAll);
        if (result != WAIT_TIMEOUT) {
            break;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        objects[i]->RemoveWaiterLocked(&waiter);
    }
    return result;
}

}  // namespace

std::mutex& KvxSyncLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

void KvxWaitable::WakeWaitersLocked() {
    for (KvxWaiter* waiter : _waiters) {
        waiter->wake.notify_one();
    }
}

void KvxWaitable::RemoveWaiterLocked(KvxWaiter* waiter) {
    const auto found = std::find(_waiters.begin(), _waiters.end(), waiter);
    if (found != _waiters.end()) {
        _waiters.erase(found);
    }
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    const std::shared_ptr<KvxWaitable>* const waitable = FindWaitable(object);
    if (waitable == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // The dispatcher polls its manual-reset stop event after every event: answer that from
    // the object's state alone.
    bool signalled = false;
    if ((*waitable)->PeekUnlocked(&signalled) && (signalled || milliseconds == 0)) {
        return signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    return WaitOn(waitable, 1, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || objects == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KvxWaitable>> waitables;
    waitables.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        const std::shared_ptr<KvxWaitable>* const waitable = FindWaitable(objects[i]);
        if (waitable == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        waitables.push_back(*waitable);
    }
    return WaitOn(waitables.data(), waitables.size(), waitAll != FALSE, milliseconds);
}
