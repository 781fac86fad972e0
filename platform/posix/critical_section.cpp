// critical_section.cpp: recursive spinning locks held entirely inside CRITICAL_SECTION.
//
// LockCount is the lock word: 0 free, 1 held, 2 held with sleepers that the holder must wake.
// OwningThread holds a per-thread token so a thread recognises its own recursive entries;
// RecursionCount is touched only by the owner.
#include "platform/win32.h"

#include <atomic>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr DWORD kSpinCountMask = 0x00FFFFFFu;

thread_local char t_ownerToken;

HANDLE Self() {
    return &t_ownerToken;
}

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

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    const HANDLE self = Self();
    // Only this thread ever stores its own token, so a relaxed read cannot mistake another
    // owner for itself.
    if (Owner(section).load(std::memory_order_relaxed) == self) {
        ++section->RecursionCount;
        return;
    }
    std::atomic_ref<LONG> word = LockWord(section);
    LONG expected = 0;
    if (!word.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                      std::memory_order_relaxed)) {
        bool owned = false;
        for (ULONG_PTR spin = 0; spin < section->SpinCount && !owned; ++spin) {
            CpuRelax();
            expected = 0;
            owned = word.load(std::memory_order_relaxed) == 0 &&
                    word.compare_exchange_weak(expected, 1, std::memory_order_acquire,
                                               std::memory_order_relaxed);
        }
        // Marking the word 2 before sleeping makes the holder's Leave wake a sleeper; the
        // thread that wins this way keeps 2, which at worst costs one needless wake-up.
        while (!owned) {
            if (word.exchange(2, std::memory_order_acquire) == 0) {
                owned = true;
            } else {
                SleepWhile(&section->LockCount, 2);
            }
        }
    }
    Owner(section).store(self, std::memory_order_relaxed);
    section->RecursionCount = 1;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (--section->RecursionCount > 0) {
        return;
    }
    Owner(section).store(nullptr, std::memory_order_relaxed);
    std::atomic_ref<LONG> word = LockWord(section);
    if (word.exchange(0, std::memory_order_release) == 2) {
        WakeOne(&section->LockCount);
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    section->LockCount = 0;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
}
