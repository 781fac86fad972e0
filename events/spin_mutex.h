// spin_mutex.h: KvxSpinMutex, a non-recursive mutex for critical sections of a few
// instructions under heavy contention (the event queue: one dispatcher popping while host
// threads post).
//
// lock() first tries for a short while to take the lock without sleeping, since its holder is
// about to let go; only then does it sleep until unlock() wakes it. A plain std::mutex sleeps at
// once and makes every collision cost two kernel calls. Meets the Lockable requirements, so
// std::lock_guard works with it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

class KvxSpinMutex {
public:
    KvxSpinMutex() = default;
    KvxSpinMutex(const KvxSpinMutex&) = delete;
    KvxSpinMutex& operator=(const KvxSpinMutex&) = delete;

    void lock() {
        for (int i = 0; i < kSpins; ++i) {
            if (_state.load(std::memory_order_relaxed) == kFree && try_lock()) {
                return;
            }
        }
        LockSlow();
    }
    bool try_lock() {
        int expected = kFree;
        return _state.compare_exchange_strong(expected, kLocked, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void unlock() {
        if (_state.exchange(kFree, std::memory_order_release) == kLockedWithSleepers) {
            WakeOne();
        }
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kLocked = 1;
    static constexpr int kLockedWithSleepers = 2;
    static constexpr int kSpins = 200;

    void LockSlow();
    void WakeOne();

    std::mutex _sleepLock;
    std::condition_variable _wake;
    // Last, so that what the lock guards can share its cache line when declared right after it.
    std::atomic<int> _state{kFree};
};
