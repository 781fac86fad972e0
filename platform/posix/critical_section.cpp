// critical_section.cpp: recursive spinning locks held entirely inside CRITICAL_SECTION.
//
// A section is first biased towards the first thread that enters it: while no other thread
// has ever entered it, that thread enters and leaves with plain stores, no atomic exchange, so
// a section that one thread uses alone costs it next to nothing. The first entry by another
// thread revokes the bias for good, and from then on every thread takes the lock word:
//
// - LockSemaphore holds the bias: kUnclaimed, the biased thread's token, kRevoking while a
//   revocation waits for the biased thread to leave, or kShared (the lock word rules).
// - DebugInfo is the biased thread's "inside" flag. The biased thread sets it and only then
//   reads the bias again; the revoking thread changes the bias and only then reads the flag.
//   Each side must see the other's store (one of the two backs off), which takes a full
//   barrier between store and load on both sides: the revoking thread makes every thread of
//   the process pass one at that moment (KvxProcessBarrier), so the biased thread needs none.
//   Without that barrier from the kernel, sections start shared.
// - LockCount is the lock word: bit 0 is set while the section is held, the bits above count
//   the threads asleep on it (or about to sleep), so a Leave calls the kernel only when one of
//   them is waiting. A woken thread competes again, also with threads that are still spinning;
//   a "handed over" state that sleepers keep would instead make every later Leave call the
//   kernel while two threads take turns.
// - OwningThread holds the owner's token (by either way in) so a thread recognises its own
//   recursive entries; RecursionCount is touched only by the owner.
#include "platform/posix/process_barrier.h"
#include "platform/win32.h"

#include <atomic>
#include <ctime>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr DWORD kSpinCountMask = 0x00FFFFFFu;

#if defined(__x86_64__) || defined(__aarch64__)
// The thread pointer is distinct for every running thread and costs one register read, where a
// thread_local's address in a shared library costs a call into the dynamic linker.
HANDLE Self() {
    return __builtin_thread_pointer();
}
#else
thread_local char t_ownerToken;

HANDLE Self() {
    return &t_ownerToken;
}
#endif

// Bias states besides a thread's token; no thread's token has these values.
const HANDLE kUnclaimed = nullptr;
const HANDLE kRevoking = reinterpret_cast<HANDLE>(uintptr_t{1});
const HANDLE kShared = reinterpret_cast<HANDLE>(uintptr_t{2});
void* const kInside = reinterpret_cast<void*>(uintptr_t{1});

std::atomic_ref<LONG> LockWord(LPCRITICAL_SECTION section) {
    return std::atomic_ref<LONG>(section->LockCount);
}

std::atomic_ref<HANDLE> Owner(LPCRITICAL_SECTION section) {
    return std::atomic_ref<HANDLE>(section->OwningThread);
}

std::atomic_ref<HANDLE> Bias(LPCRITICAL_SECTION section) {
    return std::atomic_ref<HANDLE>(section->LockSemaphore);
}

std::atomic_ref<void*> BiasedInside(LPCRITICAL_SECTION section) {
    return std::atomic_ref<void*>(section->DebugInfo);
}

// The futex calls directly: std::atomic_ref::wait would export libstdc++'s wait templates from
// the shared library.
// The word is only ever accessed atomically; the kernel reads it itself.
void SleepWhile(LONG* word, LONG value) {
    syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void WakeOne(LONG* word) {
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits for a state that another thread ends without telling anyone: spins as the section
// would, then yields, then sleeps in steps growing to a millisecond. Only a revocation waits
// like this, once in a section's life.
template <typename Done> void Await(LPCRITICAL_SECTION section, Done done) {
    for (ULONG_PTR spin = 0; !done(); ++spin) {
        if (spin < section->SpinCount) {
            CpuRelax();
        } else if (spin < section->SpinCount + 64) {
            sched_yield();
        } else {
            const timespec pause{0, spin < section->SpinCount + 128 ? 50000 : 1000000};
            nanosleep(&pause, nullptr);
        }
    }
}

}  // namespace

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
    section->DebugInfo = nullptr;
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = KvxProcessBarrierAvailable() ? kUnclaimed : kShared;
    section->SpinCount = spinCount & kSpinCountMask;
    return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    InitializeCriticalSectionAndSpinCount(section, 0);
}

namespace {

constexpr LONG kHeld = 1;
constexpr LONG kSleeper = 2;

bool TryTake(std::atomic_ref<LONG> word) {
    LONG seen = word.load(std::memory_order_relaxed);
    return (seen & kHeld) == 0 &&
           word.compare_exchange_weak(seen, seen | kHeld, std::memory_order_acquire,
                                      std::memory_order_relaxed);
}

// Makes the section shared, seen from a thread that is not the biased one (`bias` is what it
// last read): revokes the bias or waits for another thread's revocation to end.
[[gnu::noinline]] void Unbias(LPCRITICAL_SECTION section, HANDLE bias) {
    std::atomic_ref<HANDLE> state = Bias(section);
    if (bias == kShared) {
        return;
    }
    if (bias != kRevoking && state.compare_exchange_strong(bias, kRevoking)) {
        // The biased thread either sees kRevoking when it reads the bias again, or its "inside"
        // flag is visible here once every thread has passed a barrier.
        KvxProcessBarrier();
        std::atomic_ref<void*> inside = BiasedInside(section);
        Await(section, [&] { return inside.load(std::memory_order_acquire) == nullptr; });
        state.store(kShared, std::memory_order_release);
        return;
    }
    Await(section, [&] { return state.load(std::memory_order_acquire) == kShared; });
}

// Waits for a section that another thread holds (or that has sleepers): spins, then sleeps.
// Kept out of line so that the uncontended path needs no registers saved.
[[gnu::noinline]] void EnterContended(LPCRITICAL_SECTION section, HANDLE self) {
    std::atomic_ref<LONG> word = LockWord(section);
    bool owned = TryTake(word);
    for (ULONG_PTR spin = 0; spin < section->SpinCount && !owned; ++spin) {
        CpuRelax();
        owned = TryTake(word);
    }
    while (!owned) {
        // Counted before the kernel checks the word: a Leave that clears the held bit after
        // this either changes the word (the sleep returns at once) or sees the count and wakes.
        LONG seen = word.fetch_add(kSleeper, std::memory_order_relaxed) + kSleeper;
        while ((seen & kHeld) != 0) {
            SleepWhile(&section->LockCount, seen);
            seen = word.load(std::memory_order_relaxed);
        }
        word.fetch_sub(kSleeper, std::memory_order_relaxed);
        owned = TryTake(word);
    }
    Owner(section).store(self, std::memory_order_relaxed);
    section->RecursionCount = 1;
}

// Enters the section biased towards this thread, unless a revocation has begun.
[[gnu::always_inline]] inline bool EnterBiased(LPCRITICAL_SECTION section, HANDLE self) {
    std::atomic_ref<void*> inside = BiasedInside(section);
    inside.store(kInside, std::memory_order_relaxed);
    // The other half of this order is the revoking thread's process-wide barrier.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (Bias(section).load(std::memory_order_relaxed) != self) {
        inside.store(nullptr, std::memory_order_release);  // being revoked: back off
        return false;
    }
    Owner(section).store(self, std::memory_order_relaxed);
    section->RecursionCount = 1;
    return true;
}

// Enters by the lock word, once the section is shared.
void EnterShared(LPCRITICAL_SECTION section, HANDLE self) {
    // A free section with no sleepers is taken by one exchange.
    LONG idle = 0;
    if (LockWord(section).compare_exchange_strong(idle, kHeld, std::memory_order_acquire,
                                                  std::memory_order_relaxed)) {
        Owner(section).store(self, std::memory_order_relaxed);
        section->RecursionCount = 1;
        return;
    }
    EnterContended(section, self);
}

}  // namespace

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    const HANDLE self = Self();
    // Only this thread ever stores its own token, so a relaxed read cannot mistake another
    // owner for itself.
    if (Owner(section).load(std::memory_order_relaxed) == self) {
        ++section->RecursionCount;
        return;
    }
    std::atomic_ref<HANDLE> bias = Bias(section);
    // Acquire: a thread that finds the section shared must see what the biased thread did in it
    // (that thread's last Leave released it to the revoking thread, which released kShared).
    HANDLE seen = bias.load(std::memory_order_acquire);
    if (seen == self && EnterBiased(section, self)) {
        return;
    }
    if (seen == kShared) {
        EnterShared(section, self);
        return;
    }
    if (seen == kUnclaimed && bias.compare_exchange_strong(seen, self)) {
        seen = self;
        if (EnterBiased(section, self)) {
            return;
        }
    }
    Unbias(section, seen == self ? kRevoking : seen);
    EnterShared(section, self);
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (--section->RecursionCount > 0) {
        return;
    }
    Owner(section).store(nullptr, std::memory_order_relaxed);
    std::atomic_ref<LONG> word = LockWord(section);
    // Held without the lock word: the biased thread, entered before any revocation. No other
    // thread takes the word until it has seen the flag cleared.
    if ((word.load(std::memory_order_relaxed) & kHeld) == 0) {
        BiasedInside(section).store(nullptr, std::memory_order_release);
        return;
    }
    if (word.fetch_sub(kHeld, std::memory_order_release) != kHeld) {
        WakeOne(&section->LockCount);
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    section->DebugInfo = nullptr;
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = kUnclaimed;
}
