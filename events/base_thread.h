// base_thread.h: CQVBaseThread, a thread with a stop event, for the library's one worker
// thread (the event dispatcher).
//
// The object owns its thread handle and its stop event (manual reset, created non-signalled by
// the constructor). Start runs OnThreadStart, Run and OnThreadExit on a new thread; the thread
// ends with Run's exit code. The destructor stops the thread (stop event, then a wait for it
// to end) before it closes the handles, so a derived class's Run never runs on a destroyed
// object's base part. A derived class whose Run uses its own members must stop the thread in
// its own destructor (StopAndWait) before those members go.
#pragma once

#include "platform/win32.h"

#include <stdint.h>

class CQVBaseThread {
public:
    // Creates the stop event; when that fails, GetStopEventHandle() is null and the object is
    // only fit to be destroyed (Start does nothing).
    CQVBaseThread();
    virtual ~CQVBaseThread();
    CQVBaseThread(const CQVBaseThread&) = delete;
    CQVBaseThread& operator=(const CQVBaseThread&) = delete;

    // Resets the stop event, stores `parameter`, closes a previous thread handle, and starts
    // the thread at once. A thread that cannot be created leaves the handle null; nothing is
    // reported.
    void Start(void* parameter);

    // Signals the stop event if the thread still runs, and waits until it has ended: 5000 ms,
    // and if a function it runs has not returned by then, for as long as that takes. Returns
    // at once without a thread, or from the thread itself (which cannot wait for its own end).
    void StopAndWait();

    HANDLE& GetStopEventHandle() { return _stopEvent; }
    HANDLE GetThreadHandle() const { return _thread; }
    uint32_t GetThreadId() const { return _threadId; }
    bool IsOwnThread() const { return _thread != nullptr && GetCurrentThreadId() == _threadId; }

protected:
    // The thread body; its result is the thread's exit code.
    virtual uint32_t Run(void* parameter) = 0;
    // Called on the new thread before Run and after it; both do nothing here.
    virtual void OnThreadStart(void* parameter);
    virtual void OnThreadExit(void* parameter, uint32_t exitCode);

private:
    static unsigned ThreadEntry(void* self);

    HANDLE _thread;
    HANDLE _stopEvent;
    void* _parameter;
    uint32_t _threadId;
};
