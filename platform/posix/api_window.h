// api_window.h: the POSIX layer's PostMessageW, SendMessageW, message windows and their pump.
//
// An HWND here names a message window made by KvxCreateMessageWindow (kvx/message_window.h).
// Each thread that owns a window or receives thread messages has one queue, made on first use
// and torn down when the thread ends (its windows are destroyed then). The rules are Win32's:
//
// - PostMessageW(NULL, ...) queues a thread message (hwnd NULL) for the calling thread, TRUE.
// - PostMessageW to a window queues to its owning thread; an invalid or destroyed window:
//   FALSE, last error 1400. HWND 0xFFFF and (HWND)-1 are the broadcast handles: TRUE, and as
//   there are no top-level windows in this layer, nobody receives the message.
// - SendMessageW(NULL or invalid): 0, last error 1400. From the owning thread it calls the
//   procedure directly; from another thread it queues the call and blocks until the owner
//   pumps (PeekMessageW, GetMessageW, KvxPumpMessages), which runs the procedure on the owner
//   thread and hands its result back. A window destroyed meanwhile gives 0.
// - The queue has no limit, as under Wine (Windows stops at 10000).
// - When memory runs out PostMessageW gives FALSE and SendMessageW 0, last error 8; neither
//   throws.
#pragma once

#include "kvx/message_window.h"
#include "kvx/win32_types.h"

#define WM_NULL 0x0000
#define WM_QUIT 0x0012
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define HWND_BROADCAST ((HWND)(LONG_PTR)0xFFFF)

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the messages sent from other threads, then takes (PM_REMOVE) or reads (PM_NOREMOVE) the
// first posted message for `window` (NULL: any window and thread messages) whose number lies in
// [first, last] (0, 0: every number). FALSE when there is none.
BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags);

// As PeekMessageW with PM_REMOVE, waiting until a message arrives. Returns 0 for WM_QUIT,
// -1 (error 87) for a null msg, otherwise non-zero.
BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);

// Calls the procedure of msg->hwnd and returns its result; 0 for a thread message or a window
// that no longer exists.
LRESULT DispatchMessageW(const MSG* msg);

// Posts WM_QUIT with the exit code to the calling thread.
void PostQuitMessage(int exitCode);

BOOL IsWindow(HWND window);
