// message_window.h: message-only windows that a host makes to receive kvx's window messages.
//
// kvx tells windows about things by posting or sending them messages (CQVNotifier, and the
// history message 1030 of CQVLogSystem). On Windows those are ordinary windows; this header
// gives a host one way to make such a window and pump its messages that works unchanged on
// Windows and on Linux:
//
//   LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
//   HWND window = KvxCreateMessageWindow(OnMessage);   // owned by the calling thread
//   log.SubscribeNotification(window);
//   KvxPumpMessages(100);                              // runs OnMessage for what arrived
//   KvxDestroyMessageWindow(window);
//
// On Windows the window is a real message-only window (parent HWND_MESSAGE), so any Win32 code
// may post or send to it and the thread's own GetMessageW loop pumps it too. On Linux it is a
// window of kvx's own platform layer, with Win32's rules: PostMessageW queues to the owning
// thread, SendMessageW from that thread calls the procedure at once, and SendMessageW from
// another thread blocks until the owning thread pumps, then returns the procedure's result.
//
// Use message numbers from WM_USER (0x400) up. The procedure receives every such message posted
// or sent to the window; on Windows the system's own messages below WM_USER (creation,
// destruction, ...) are handled by the system and never reach it.
#pragma once

#include "kvx/export.h"
#include "kvx/win32_types.h"

// Makes a message-only window owned by the calling thread whose messages go to `procedure`.
// Returns its handle, or NULL when `procedure` is null (last error 87) or the system refuses.
// The window lives until KvxDestroyMessageWindow on the owning thread, or until that thread
// ends. Handles are not reused, so a stale handle stays invalid (error 1400 when used).
KVX_API HWND KvxCreateMessageWindow(WNDPROC procedure);

// Destroys a window made by KvxCreateMessageWindow, on its owning thread. Messages still queued
// for it are dropped, and threads blocked sending to it get 0 as the result. Returns TRUE, or
// FALSE with last error 1400 for a handle that names no window, or 5 when called from another
// thread (the window is kept).
KVX_API BOOL KvxDestroyMessageWindow(HWND window);

// Delivers the calling thread's messages: messages sent from other threads, then posted ones,
// each to its window's procedure, until the queue is empty. When nothing is waiting it first
// waits up to `timeoutMs` milliseconds (0xFFFFFFFF: no limit) for the first message. Messages
// posted to the thread itself (window NULL) are removed and dropped. Returns the number of
// messages handed to window procedures.
KVX_API DWORD KvxPumpMessages(DWORD timeoutMs);
