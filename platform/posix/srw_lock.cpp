// srw_lock.cpp: slim reader/writer locks in the one pointer-sized word of an SRWLOCK.
//
// The word holds kWriter while a writer owns the lock, kWriterWaiting while a writer waits for
// it, and the number of readers times kReader. Waiters sleep on the word (C++20 atomic wait).
// Who must wake them: a writer's release (it may unblock anyone) and the last reader's release
// while a writer waits. No other change unblocks a waiter: a writer that takes the lock clears
// kWriterWaiting, and other waiting writers then wait for its release.
#include "platform/win32.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

struct ParkingSlot {
    std::mutex lock;
    std::condition_variable wake;
};

constexpr size_t kSlots = 64;

ParkingSlot& SlotFor(const void* address) {
    // Never destroyed: locks in static objects may be used during process exit.
    static ParkingSlot* const slots = new ParkingSlot[kSlots];
    return slots[(reinterpret_cast<uintptr_t>(address) >> 4) % kSlots];
}

constexpr uintptr_t kWriter = 1;
constexpr uintptr_t kWriterWaiting = 2;
constexpr uintptr_t kReader = 4;

class LockWord {
public:
    explicit LockWord(PSRWLOCK lock) : _word(lock->Ptr), _lock(lock) {}

    uintptr_t Load() const { return Bits(_word.load(std::memory_order_relaxed)); }
    bool Exchange(uintptr_t expected, uintptr_t desired) {
        void* old = Ptr(expected);
        return _word.compare_exchange_weak(old, Ptr(desired), std::memory_order_acquire,
                                           std::memory_order_relaxed);
    }
    // Release ordering: what the holder wrote is visible to the next holder.
    bool ExchangeRelease(uintptr_t expected, uintptr_t desired) {
        void* old = Ptr(expected);
        return _word.compare_exchange_weak(old, Ptr(desired), std::memory_order_release,
                                           std::memory_order_relaxed);
    }
    // Sleeps while the word holds `value`. The check is made under the slot's mutex, and
    // WakeAll takes that mutex after the word has changed, so no wake-up is lost.
    void WaitWhile(uintptr_t value) {
        ParkingSlot& slot = SlotFor(_lock);
        std::unique_lock<std::mutex> guard(slot.lock);
        while (Load() == value) {
            slot.wake.wait(guard);
        }
    }
    void WakeAll() {
        ParkingSlot& slot = SlotFor(_lock);
        { std::lock_guard<std::mutex> guard(slot.lock); }
        slot.wake.notify_all();
    }

private:
    static uintptr_t Bits(void* p) { return reinterpret_cast<uintptr_t>(p); }
    static void* Ptr(uintptr_t bits) { return reinterpret_cast<void*>(bits); }

    std::atomic_ref<void*> _word;
    const void* _lock;
};

}  // namespace

void InitializeSRWLock(PSRWLOCK lock) {
    lock->Ptr = nullptr;
}

void AcquireSRWLockExclusive(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        uintptr_t state = word.Load();
        if ((state & ~kWriterWaiting) == 0) {
            if (word.Exchange(state, kWriter)) {
                return;
            }
            continue;
        }
        // Announce the wait first, so that arriving readers hold back and the last reader
        // knows to wake us.
        if ((state & kWriterWaiting) == 0) {
            if (!word.Exchange(state, state | kWriterWaiting)) {
                continue;
            }
            state |= kWriterWaiting;
        }
        word.WaitWhile(state);
    }
}

void AcquireSRWLockShared(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        const uintptr_t state = word.Load();
        if ((state & (kWriter | kWriterWaiting)) == 0) {
            if (word.Exchange(state, state + kReader)) {
                return;
            }
            continue;
        }
        word.WaitWhile(state);
    }
}

void ReleaseSRWLockExclusive(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        const uintptr_t state = word.Load();
        if (word.ExchangeRelease(state, state & ~kWriter)) {
            word.WakeAll();
            return;
        }
    }
}

void ReleaseSRWLockShared(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        const uintptr_t state = word.Load();
        const uintptr_t next = state - kReader;
        if (word.ExchangeRelease(state, next)) {
            if (next == kWriterWaiting) {
                word.WakeAll();
            }
            return;
        }
    }
}

BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        const uintptr_t state = word.Load();
        if ((state & ~kWriterWaiting) != 0) {
            return FALSE;
        }
        if (word.Exchange(state, kWriter)) {
            return TRUE;
        }
    }
}

BOOLEAN TryAcquireSRWLockShared(PSRWLOCK lock) {
    LockWord word(lock);
    for (;;) {
        const uintptr_t state = word.Load();
        if ((state & (kWriter | kWriterWaiting)) != 0) {
            return FALSE;
        }
        if (word.Exchange(state, state + kReader)) {
            return TRUE;
        }
    }
}
