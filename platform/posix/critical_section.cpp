// critical_section.cpp: recursive spinning locks held entirely inside CRITICAL_SECTION.
//
// LockCount is the lock word: bit 0 is set while the section is held, the bits above count the
// threads asleep on it (or about to sleep), so a Leave calls the kernel only when one of them
// is waiting. A woken thread competes again, also with threads that are still spinning; a
// "handed over" state that sleepers keep would instead make every later Leave call the kernel
// while two threads take turns. OwningThread holds a per-thread token so a thread recognises
// its own recursive entries; RecursionCount is touched only by the owner.
#include "platform/win32.h"

#include <atomic>

#include <linux/futex.h>
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

std::atomic_ref<LONG> LockWord(LPCRITICAL_SECTION section) {
    return std::atomic_ref<LONG>(section->LockCount);
}

std::atomic_ref<HANDLE> Owner(LPCRITICAL_SECTION section) {
    return std::atomic_ref<HANDLE>(section->OwningThread);
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

}  // namespace

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
    section->DebugInfo = nullptr;
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = nullptr;
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

}  // namespace

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    const HANDLE self = Self();
    // A free section with no sleepers is taken by one exchange. It fails while this thread
    // holds the section itself, as the held bit is set then.
    LONG idle = 0;
    if (LockWord(section).compare_exchange_strong(idle, kHeld, std::memory_order_acquire,
                                                  std::memory_order_relaxed)) {
        Owner(section).store(self, std::memory_order_relaxed);
        section->RecursionCount = 1;
        return;
    }
    // Only this thread ever stores its own token, so a relaxed read cannot mistake another
    // owner for itself.
    if (Owner(section).load(std::memory_order_relaxed) == self) {
        ++section->RecursionCount;
        return;
    }
    EnterContended(section, self);
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (--section->RecursionCount > 0) {
        return;
    }
    Owner(section).store(nullptr, std::memory_order_relaxed);
    std::atomic_ref<LONG> word = LockWord(section);
    if (word.fetch_sub(kHeld, std::memory_order_release) != kHeld) {
        WakeOne(&section->LockCount);
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
}
