// api_threads.h: the POSIX layer's _beginthreadex, _endthreadex, GetCurrentThreadId.
//
// A thread started by _beginthreadex is a waitable handle object (platform/posix/waitable.h):
// WaitForSingleObject on its handle gives WAIT_TIMEOUT (258) while it runs and WAIT_OBJECT_0 once
// it has ended, for good. Closing the handle does not touch the thread; it runs on, detached.
#pragma once

#include "kvx/win32_types.h"

#define STILL_ACTIVE 259L
#define CREATE_SUSPENDED 0x00000004

// The calling thread's id: a non-zero multiple of 4, fixed for the thread's life and never
// given to another thread of the process. Threads not started by _beginthreadex get theirs on
// first call.
DWORD GetCurrentThreadId();

// Starts `start(argument)` on a new thread at once and returns its handle as an integer; the
// new thread's id goes to *threadId when that is non-null. `security` is ignored; a
// `stackSize` of 0 takes the default, a smaller one than the system minimum is raised to it.
// The thread's exit code is what `start` returns, or the argument of _endthreadex.
// Failure returns 0 with errno set and starts nothing: EINVAL for a null `start` or for
// CREATE_SUSPENDED in `flags` (suspended threads are not supported here), EAGAIN when the
// system refuses another thread. Other flag bits are ignored.
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*),
                         void* argument, unsigned flags, unsigned* threadId);

// Ends the calling thread with `exitCode`, unwinding its stack (destructors run) first. Its
// handle becomes signalled once the unwinding is done. Called from a thread that
// _beginthreadex did not start, it ends that thread all the same.
[[noreturn]] void _endthreadex(unsigned exitCode);

// *exitCode gets STILL_ACTIVE (259) while the thread runs, then its exit code. A handle that is
// not a thread handle: FALSE, last error 6 (ERROR_INVALID_HANDLE); a null exitCode: FALSE, 87.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
