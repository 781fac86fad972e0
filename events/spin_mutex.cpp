// spin_mutex.cpp: KvxSpinMutex's sleeping half.
#include "events/spin_mutex.h"

void KvxSpinMutex::LockSlow() {
    std::unique_lock<std::mutex> guard(_sleepLock);
    // Marking the lock "with sleepers" before sleeping makes the holder's unlock() wake us; the
    // mark is checked and the sleep begun under _sleepLock, which WakeOne takes, so no wake-up
    // is lost. A thread that finds the lock free here has taken it (marked, to be safe).
    while (_state.exchange(kLockedWithSleepers, std::memory_order_acquire) != kFree) {
        _wake.wait(guard);
    }
}

void KvxSpinMutex::WakeOne() {
    { std::lock_guard<std::mutex> guard(_sleepLock); }
    _wake.notify_one();
}
