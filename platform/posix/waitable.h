// waitable.h: the kernel-style objects that WaitForSingleObject and WaitForMultipleObjects can
// wait on (events, threads), and the one lock that guards their signal states.
//
// Every signal state is read and changed under KvxSyncLock(), so a wait on several objects
// sees them all at one moment. A waiter registers itself with each object it waits on; an
// object that becomes signalled wakes its registered waiters, who then check again.
#pragma once

#include "platform/posix/handles.h"

#include <condition_variable>
#include <mutex>
#include <vector>

// The lock that guards every waitable object's state and waiter list. Never destroyed, so
// threads still running at process exit can use it.
std::mutex& KvxSyncLock();

// One thread blocked in a wait, registered with the objects it waits on.
struct KvxWaiter {
    std::condition_variable wake;
};

class KvxWaitable : public KvxHandleObject {
public:
    // Whether a wait would be satisfied now. Call under KvxSyncLock().
    virtual bool IsSignalledLocked() const = 0;
    // Takes what a satisfied wait takes (an auto-reset event resets). Call under KvxSyncLock().
    virtual void ConsumeLocked() {}
    // For objects whose waits take nothing: sets *signalled to the current state and returns
    // true, without the lock. Others return false and the caller takes the lock.
    virtual bool PeekUnlocked(bool* /*signalled*/) const { return false; }

    // Under KvxSyncLock(): wakes every waiter registered with this object.
    void WakeWaitersLocked();
    void AddWaiterLocked(KvxWaiter* waiter) { _waiters.push_back(waiter); }
    void RemoveWaiterLocked(KvxWaiter* waiter);

private:
    std::vector<KvxWaiter*> _waiters;
};
