// message_window.cpp: kvx's message-window API on Windows: real message-only windows whose
// messages from WM_USER up go to the host's procedure.
#include "kvx/message_window.h"
#include "platform/win32.h"

#include <atomic>

namespace {

constexpr wchar_t kClassName[] = L"KvxMessageWindow";

// Counts the host-procedure calls on this thread, so KvxPumpMessages can report what it
// delivered: PeekMessageW runs sent messages itself, without handing them to the caller.
thread_local DWORD t_delivered = 0;

LRESULT CALLBACK Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) {
        const auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (procedure != nullptr) {
            ++t_delivered;
            return procedure(window, message, wParam, lParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A failed registration is tried again by the next call rather than remembered: a window
// station that is still starting up refuses it for a moment.
bool Register() {
    static std::atomic<bool> registered{false};
    if (registered.load(std::memory_order_acquire)) {
        return true;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Trampoline;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    registered.store(true, std::memory_order_release);
    return true;
}

}  // namespace

HWND KvxCreateMessageWindow(WNDPROC procedure) {
    if (procedure == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!Register()) {
        return nullptr;
    }
    HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(procedure));
    }
    return window;
}

BOOL KvxDestroyMessageWindow(HWND window) {
    if (window == nullptr || !IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return DestroyWindow(window);
}

DWORD KvxPumpMessages(DWORD timeoutMs) {
    const DWORD before = t_delivered;
    MSG m{};
    if (timeoutMs != 0 && !PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE)) {
        MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.hwnd != nullptr) {
            DispatchMessageW(&m);
        }
    }
    return t_delivered - before;
}
