// test_window.cpp: the per-platform part of KvxTestWindow.
#include "support/test_window.h"

#include "kvx/message_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>

namespace {
std::mutex g_windowsLock;
std::map<HWND, KvxTestWindow*> g_windows;

KvxTestWindow* Find(HWND window) {
    std::lock_guard<std::mutex> guard(g_windowsLock);
    const auto it = g_windows.find(window);
    return it == g_windows.end() ? nullptr : it->second;
}

#if defined(_WIN32)
constexpr wchar_t kTestClass[] = L"KvxTestWindow";

// Under Wine the first windows of a process can be refused while the desktop process starts:
// try again for a few seconds before giving up.
HWND CreateTestWindow(WNDPROC procedure) {
    static bool registered = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!registered) {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = procedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kTestClass;
            registered =
                RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        }
        if (registered) {
            HWND window = CreateWindowExW(0, kTestClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
            if (window != nullptr) {
                return window;
            }
        }
        Sleep(50);
    }
    ADD_FAILURE() << "no test window: error " << GetLastError();
    return nullptr;
}

void DestroyTestWindow(HWND window) {
    DestroyWindow(window);
}

LRESULT OtherMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}
#else
HWND CreateTestWindow(WNDPROC procedure) {
    return KvxCreateMessageWindow(procedure);
}

void DestroyTestWindow(HWND window) {
    KvxDestroyMessageWindow(window);
}

LRESULT OtherMessage(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}
#endif
}  // namespace

KvxTestWindow::KvxTestWindow() {
    _handle = CreateTestWindow(&KvxTestWindow::Procedure);
    std::lock_guard<std::mutex> guard(g_windowsLock);
    g_windows[_handle] = this;
}

KvxTestWindow::~KvxTestWindow() {
    {
        std::lock_guard<std::mutex> guard(g_windowsLock);
        g_windows.erase(_handle);
    }
    DestroyTestWindow(_handle);
}

std::vector<KvxTestWindow::Received>& KvxTestWindow::Journal() {
    thread_local std::vector<Received> journal;
    return journal;
}

LRESULT KvxTestWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KvxTestWindow* self = message >= WM_USER ? Find(window) : nullptr;
    if (self == nullptr) {
        return OtherMessage(window, message, wParam, lParam);
    }
    const Received r{window, message, wParam, lParam, std::this_thread::get_id()};
    self->_received.push_back(r);
    Journal().push_back(r);
    if (self->_hook) {
        self->_hook(r);
    }
    return self->_reply;
}

size_t KvxPumpUntil(size_t count, unsigned timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        KvxPumpMessages(0);
        const auto now = std::chrono::steady_clock::now();
        if (KvxTestWindow::Journal().size() >= count || now >= deadline) {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        KvxPumpMessages(static_cast<DWORD>(left.count() > 50 ? 50 : left.count() + 1));
    }
    return KvxTestWindow::Journal().size();
}
