// test_window.h: KvxTestWindow, a message window that records what it receives, for tests of
// window messaging. On Windows it is a real message-only window made with RegisterClassW and
// CreateWindowExW; elsewhere a window of kvx's platform layer. The tests that use it are the
// same on both.
#pragma once

#include "kvx/win32_types.h"

#include <functional>
#include <thread>
#include <vector>

class KvxTestWindow {
public:
    struct Received {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;  // where the procedure ran
    };

    // Makes the window on the calling thread, which owns it and must pump it.
    KvxTestWindow();
    ~KvxTestWindow();
    KvxTestWindow(const KvxTestWindow&) = delete;
    KvxTestWindow& operator=(const KvxTestWindow&) = delete;

    HWND handle() const { return _handle; }
    // What this window's procedure received (messages from WM_USER up), in order.
    const std::vector<Received>& received() const { return _received; }
    // The result the procedure returns.
    void SetReply(LRESULT reply) { _reply = reply; }
    // Called inside the procedure for each recorded message.
    void OnMessage(std::function<void(const Received&)> hook) { _hook = std::move(hook); }

    // Every delivery to any test window of the calling thread, in order.
    static std::vector<Received>& Journal();
    static void ClearJournal() { Journal().clear(); }

private:
    static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND _handle = nullptr;
    LRESULT _reply = 0;
    std::function<void(const Received&)> _hook;
    std::vector<Received> _received;
};

// Pumps the calling thread's queue until `count` messages have reached test windows (counted in
// the journal) or `timeoutMs` has passed. Returns the journal size.
size_t KvxPumpUntil(size_t count, unsigned timeoutMs = 5000);
