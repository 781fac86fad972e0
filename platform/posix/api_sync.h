// api_sync.h: the POSIX layer's events, waits, slim reader/writer locks, critical sections.
#pragma once

#include "kvx/win32_types.h"

// --- Waits (platform/posix/waits.cpp) -----------------------------------------------------
// Waitable handles are events (below) and thread handles (api_threads.h). INVALID_HANDLE_VALUE
// is the current-process pseudo-handle, which never becomes signalled here: a wait on it runs
// out its time (an INFINITE one never returns), as on Windows.

#define INFINITE 0xFFFFFFFFUL
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_TIMEOUT 0x00000102UL  // 258
#define WAIT_FAILED 0xFFFFFFFFUL
#define MAXIMUM_WAIT_OBJECTS 64

// Waits until `object` is signalled or `milliseconds` have passed (INFINITE: no limit; 0: only
// looks). Returns WAIT_OBJECT_0, consuming the signal of an auto-reset event, or WAIT_TIMEOUT.
// A null or unknown handle, or one that cannot be waited on: WAIT_FAILED, last error 6.
// Time-outs are measured on a monotonic clock, unaffected by changes of the system time.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// Waits for any (waitAll FALSE) or all (TRUE) of `count` objects. Returns WAIT_OBJECT_0 + the
// lowest index that is signalled (any), or WAIT_OBJECT_0 once all are signalled at the same
// moment (all; then every auto-reset event among them is consumed together, none before), or
// WAIT_TIMEOUT. Only the events whose index is returned are consumed. An object may be given
// more than once (as under Wine). Failures return WAIT_FAILED: a count of 0 or above
// MAXIMUM_WAIT_OBJECTS, or a null array, set last error 87; an invalid handle sets 6.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

// --- Events (platform/posix/sync_events.cpp) ----------------------------------------------
// A manual-reset event stays signalled until ResetEvent and releases every waiter; an
// auto-reset one releases one waiter and is reset by that waiter's wait.

// Creates an unnamed event; `attributes` is ignored. Returns its handle, to be closed with
// CloseHandle. A non-null `name` (named events are not supported here): NULL, last error 87.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);

// Signal and clear an event. A handle that is not an event: FALSE, last error 6.
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// --- Slim reader/writer locks (platform/posix/srw_lock.cpp) -------------------------------
// An SRWLOCK is the pointer-sized word of Win32: zero (SRWLOCK_INIT or InitializeSRWLock) is
// unlocked, and there is nothing to destroy. Not recursive; a holder that acquires it again
// deadlocks, as on Windows. Neither readers nor writers are promised fairness, but a waiting
// writer holds back new readers, so a steady stream of readers cannot starve it. Releasing a
// lock that the caller does not hold is undefined, as on Windows.

typedef BYTE BOOLEAN;

void InitializeSRWLock(PSRWLOCK lock);
void AcquireSRWLockExclusive(PSRWLOCK lock);
void AcquireSRWLockShared(PSRWLOCK lock);
void ReleaseSRWLockExclusive(PSRWLOCK lock);
void ReleaseSRWLockShared(PSRWLOCK lock);
// Take the lock only if that needs no wait: non-zero when taken, 0 otherwise.
BOOLEAN TryAcquireSRWLockExclusive(PSRWLOCK lock);
BOOLEAN TryAcquireSRWLockShared(PSRWLOCK lock);

// --- Critical sections (platform/posix/critical_section.cpp) ---------------------------------
// CRITICAL_SECTION (kvx/win32_types.h) keeps the lock's whole state inside the structure: no
// resource is allocated, so initialisation cannot fail. As on Windows the lock is recursive:
// the owning thread may enter again and must leave as often as it entered. A thread that finds
// the lock taken by another spins up to the spin count before it sleeps. While only one thread
// has ever entered a section, that thread enters and leaves it without atomic operations; the
// first entry by another thread turns it into an ordinary lock for good, which costs that entry
// a process-wide memory barrier (microseconds) and a wait for the first thread to leave.
// Leaving a section the thread does not own, or deleting one that is held, is outside the
// contract.

// Prepares `section` with spin count `spinCount` (bits above the low 24 are flags on Windows
// and ignored). Always returns TRUE.
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
// The same with spin count 0.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
// Waits until the calling thread owns the section (at once if it already does).
void EnterCriticalSection(LPCRITICAL_SECTION section);
// Ends one entry; the last one releases the section and wakes one waiting thread.
void LeaveCriticalSection(LPCRITICAL_SECTION section);
// Ends the section's life; it may be initialised again afterwards.
void DeleteCriticalSection(LPCRITICAL_SECTION section);
