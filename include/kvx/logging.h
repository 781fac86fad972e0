// logging.h: kvx's logging family: the window notifier CQVNotifier, the message traffic log
// file ILogFileInterface, the console printer ILogInterface and the severity log CQVLogSystem.
#pragma once

#include "kvx/export.h"
#include "kvx/foundation.h"
#include "kvx/message_window.h"
#include "kvx/win32_types.h"

#include <stddef.h>
#include <stdint.h>

// An ordered list of window handles that all receive one message, queued or sent.
//
// The same handle may be in the list several times and gets the message as often; handles are
// not checked, and a handle that names no window (any more) is skipped by the platform with no
// effect on the others. The notifier owns its list, never the windows. A null handle is kept
// like any other: posting to it queues a thread message for the calling thread, sending to it
// does nothing. Not thread-safe: the owner serialises all calls on one notifier. Copies are
// independent lists. Running out of memory throws std::bad_alloc and leaves the list as it was.
class KVX_API CQVNotifier {
public:
    CQVNotifier();
    CQVNotifier(const CQVNotifier& other);
    CQVNotifier& operator=(const CQVNotifier& other);
    ~CQVNotifier();

    // Appends the handle at the end, also when it is already in the list.
    void AddNotification(HWND window);
    // Removes the first occurrence of the handle; those behind it keep their order. A handle
    // that is not in the list changes nothing.
    void RemoveNotification(HWND window);

    // PostMessageW(window, message, wParam, lParam) for every handle from first to last;
    // returns at once. What the parameters point to must outlive every receiver's handling.
    void PostNotification(unsigned int message, uint64_t wParam, int64_t lParam) const;
    // SendMessageW with the same arguments for every handle from first to last; returns when
    // every window procedure has returned, so a window whose thread does not pump holds the
    // caller up. Results are ignored.
    void SendNotification(unsigned int message, uint64_t wParam, int64_t lParam) const;

private:
    HWND* _windows;
    size_t _count;
    size_t _capacity;
};
