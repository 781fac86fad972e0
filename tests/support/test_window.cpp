// test_window.cpp: the per-platform part of KvxTestWindow.
#include "support/test_window.h"

#include "kvx/message_window.h"

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

HWND CreateTestWindow(WNDPROC procedure) {
    static const bool registered = [procedure] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kTestClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) {
        return nullptr;
    }
    return CreateWindowExW(0, kTestClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
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
