// threads.cpp: _beginthreadex, _endthreadex, GetCurrentThreadId and GetExitCodeThread on POSIX
// threads.
#include "platform/posix/waitable.h"
#include "platform/win32.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <memory>
#include <pthread.h>

namespace {

class ThreadObject : public KvxWaitable {
public:
    bool IsSignalledLocked() const override { return finished; }

    // Guarded by KvxSyncLock().
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct ThreadStart {
    unsigned (*start)(void*);
    void* argument;
    DWORD id;
    std::shared_ptr<ThreadObject> self;
};

std::atomic<DWORD> g_lastThreadId{0};
thread_local DWORD t_threadId = 0;
thread_local unsigned t_exitCode = 0;

DWORD NewThreadId() {
    return g_lastThreadId.fetch_add(4, std::memory_order_relaxed) + 4;
}

// Marks the thread ended when the thread function returns and also when _endthreadex unwinds
// the stack, so waiters are released exactly once either way.
class EndMarker {
public:
    explicit EndMarker(std::shared_ptr<ThreadObject> self) : _self(std::move(self)) {}
    EndMarker(const EndMarker&) = delete;
    EndMarker& operator=(const EndMarker&) = delete;
    ~EndMarker() {
        std::lock_guard<std::mutex> guard(KvxSyncLock());
        _self->finished = true;
        _self->exitCode = t_exitCode;
        _self->WakeWaitersLocked();
    }

private:
    std::shared_ptr<ThreadObject> _self;
};

void* ThreadMain(void* raw) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(raw));
    t_threadId = start->id;
    unsigned (*const body)(void*) = start->start;
    void* const argument = start->argument;
    EndMarker marker(std::move(start->self));
    start.reset();
    t_exitCode = body(argument);
    return nullptr;
}

}  // namespace

DWORD GetCurrentThreadId() {
    if (t_threadId == 0) {
        t_threadId = NewThreadId();
    }
    return t_threadId;
}

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned (*start)(void*), void* argument,
                         unsigned flags, unsigned* threadId) {
    if (start == nullptr || (flags & CREATE_SUSPENDED) != 0) {
        errno = EINVAL;
        return 0;
    }
    auto self = std::make_shared<ThreadObject>();
    auto startInfo =
        std::make_unique<ThreadStart>(ThreadStart{start, argument, NewThreadId(), self});
    const DWORD id = startInfo->id;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, stackSize < minimum ? minimum : stackSize);
    }
    // The handle exists before the thread runs, so the thread may end before we return.
    const HANDLE handle = KvxHandleInsert(self);
    pthread_t thread;
    const int failure = pthread_create(&thread, &attributes, ThreadMain, startInfo.get());
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        KvxHandleRemove(handle);
        errno = failure;
        return 0;
    }
    startInfo.release();  // the thread owns it now
    if (threadId != nullptr) {
        *threadId = id;
    }
    return reinterpret_cast<uintptr_t>(handle);
}

void _endthreadex(unsigned exitCode) {
    t_exitCode = exitCode;
    pthread_exit(nullptr);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    const std::shared_ptr<ThreadObject> object = KvxHandleGet<ThreadObject>(thread);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(KvxSyncLock());
    *exitCode = object->exitCode;
    return TRUE;
}
