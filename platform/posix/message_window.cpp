// message_window.cpp: message windows, per-thread message queues, PostMessageW/SendMessageW and
// the pump, for systems without Win32 windows.
#include "platform/win32.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// A SendMessageW from another thread, waiting in the owner's queue. It lives on the sender's
// stack; the owner's queue lock guards result and done.
struct PendingSend {
    PendingSend(HWND w, UINT m, WPARAM wp, LPARAM lp)
        : window(w), message(m), wParam(wp), lParam(lp) {}
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::condition_variable finished;
};

struct ThreadQueue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<MSG> posted;
    std::deque<PendingSend*> sent;
    uint64_t postCount = 0;  // lets a filtered GetMessageW wait for the next post
    bool alive = true;       // false once the owning thread has ended
};

struct WindowRecord {
    WNDPROC procedure;
    std::shared_ptr<ThreadQueue> owner;
};

// Order: Registry::lock, then a ThreadQueue::lock; no lock is held while a procedure runs.
struct Registry {
    std::mutex lock;
    std::unordered_map<uintptr_t, WindowRecord> windows;
    // Even values from 0x10002 up: never null, never the broadcast values, never reused.
    uintptr_t nextHandle = 0x10002;
};

Registry& Windows() {
    static Registry registry;
    return registry;
}

void RetireQueue(const std::shared_ptr<ThreadQueue>& queue);

// The calling thread's queue, made on first use; a thread's windows die with the thread.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (queue) {
            RetireQueue(queue);
        }
    }
};
thread_local QueueHolder t_queue;

ThreadQueue& CurrentQueue() {
    if (!t_queue.queue) {
        t_queue.queue = std::make_shared<ThreadQueue>();
    }
    return *t_queue.queue;
}

bool IsBroadcast(HWND window) {
    const auto value = reinterpret_cast<uintptr_t>(window);
    return value == 0xFFFF || value == UINTPTR_MAX;
}

bool Lookup(HWND window, WindowRecord& record) {
    Registry& registry = Windows();
    std::lock_guard<std::mutex> guard(registry.lock);
    const auto it = registry.windows.find(reinterpret_cast<uintptr_t>(window));
    if (it == registry.windows.end()) {
        return false;
    }
    record = it->second;
    return true;
}

DWORD MessageTime() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<DWORD>(ms.count());
}

void Finish(PendingSend* send, LRESULT result) {
    send->result = result;
    send->done = true;
    send->finished.notify_all();
}

// Drops what is queued for `window` and releases the threads sending to it.
void PurgeWindow(ThreadQueue& queue, HWND window) {
    std::lock_guard<std::mutex> guard(queue.lock);
    std::erase_if(queue.posted, [window](const MSG& m) { return m.hwnd == window; });
    std::erase_if(queue.sent, [window](PendingSend* send) {
        if (send->window != window) {
            return false;
        }
        Finish(send, 0);
        return true;
    });
}

void RetireQueue(const std::shared_ptr<ThreadQueue>& queue) {
    {
        Registry& registry = Windows();
        std::lock_guard<std::mutex> guard(registry.lock);
        std::erase_if(registry.windows,
                      [&queue](const auto& entry) { return entry.second.owner == queue; });
    }
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->alive = false;
    queue->posted.clear();
    for (PendingSend* send : queue->sent) {
        Finish(send, 0);
    }
    queue->sent.clear();
}

// Runs the procedures of messages sent from other threads; returns how many ran.
DWORD RunSentMessages(ThreadQueue& queue) {
    DWORD ran = 0;
    std::unique_lock<std::mutex> lock(queue.lock);
    while (!queue.sent.empty()) {
        PendingSend* send = queue.sent.front();
        queue.sent.pop_front();
        lock.unlock();
        WindowRecord record{};
        LRESULT result = 0;
        if (Lookup(send->window, record)) {
            result = record.procedure(send->window, send->message, send->wParam, send->lParam);
            ++ran;
        }
        lock.lock();
        // The sender leaves as soon as it sees done under this lock; send is not touched after.
        Finish(send, result);
    }
    return ran;
}

bool Matches(const MSG& m, HWND window, UINT first, UINT last) {
    if (window != nullptr && m.hwnd != window) {
        return false;
    }
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

bool TakePosted(ThreadQueue& queue, MSG& out, HWND window, UINT first, UINT last, bool remove) {
    std::lock_guard<std::mutex> guard(queue.lock);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (Matches(*it, window, first, last)) {
            out = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            return true;
        }
    }
    return false;
}

bool Enqueue(ThreadQueue& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = MessageTime();
    std::lock_guard<std::mutex> guard(queue.lock);
    if (!queue.alive) {
        return false;
    }
    queue.posted.push_back(m);
    ++queue.postCount;
    queue.arrived.notify_all();
    return true;
}

BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        Enqueue(CurrentQueue(), nullptr, message, wParam, lParam);
        return TRUE;
    }
    if (IsBroadcast(window)) {
        return TRUE;
    }
    WindowRecord record{};
    if (!Lookup(window, record) || !Enqueue(*record.owner, window, message, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// Win32 calls report a lack of memory (a queue that cannot grow) as an error, never as an
// exception; so does SendMessageW below (the procedure's own exceptions are not ours to catch).
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Post(window, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && IsBroadcast(window)) {
        return 0;
    }
    WindowRecord record{};
    if (window == nullptr || !Lookup(window, record)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (record.owner == t_queue.queue) {
        return record.procedure(window, message, wParam, lParam);
    }
    PendingSend send(window, message, wParam, lParam);
    ThreadQueue& owner = *record.owner;
    std::unique_lock<std::mutex> lock(owner.lock);
    if (!owner.alive) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    try {
        owner.sent.push_back(&send);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    owner.arrived.notify_all();
    send.finished.wait(lock, [&send] { return send.done; });
    return send.result;
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags) {
    ThreadQueue& queue = CurrentQueue();
    RunSentMessages(queue);
    MSG found{};
    if (msg == nullptr ||
        !TakePosted(queue, found, window, first, last, (removeFlags & PM_REMOVE) != 0)) {
        return FALSE;
    }
    *msg = found;
    return TRUE;
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    ThreadQueue& queue = CurrentQueue();
    for (;;) {
        uint64_t seen = 0;
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            seen = queue.postCount;
        }
        if (PeekMessageW(msg, window, first, last, PM_REMOVE)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        std::unique_lock<std::mutex> lock(queue.lock);
        queue.arrived.wait(
            lock, [&queue, seen] { return !queue.sent.empty() || queue.postCount != seen; });
    }
}

LRESULT DispatchMessageW(const MSG* msg) {
    WindowRecord record{};
    if (msg == nullptr || msg->hwnd == nullptr || !Lookup(msg->hwnd, record)) {
        return 0;
    }
    return record.procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    Enqueue(CurrentQueue(), nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL IsWindow(HWND window) {
    WindowRecord record{};
    return window != nullptr && Lookup(window, record) ? TRUE : FALSE;
}

HWND KvxCreateMessageWindow(WNDPROC procedure) {
    if (procedure == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CurrentQueue();
    Registry& registry = Windows();
    std::lock_guard<std::mutex> guard(registry.lock);
    const uintptr_t handle = registry.nextHandle;
    registry.nextHandle += 2;
    registry.windows.emplace(handle, WindowRecord{procedure, t_queue.queue});
    return reinterpret_cast<HWND>(handle);
}

BOOL KvxDestroyMessageWindow(HWND window) {
    std::shared_ptr<ThreadQueue> owner;
    {
        Registry& registry = Windows();
        std::lock_guard<std::mutex> guard(registry.lock);
        const auto it = registry.windows.find(reinterpret_cast<uintptr_t>(window));
        if (window == nullptr || it == registry.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (it->second.owner != t_queue.queue) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        owner = it->second.owner;
        registry.windows.erase(it);
    }
    PurgeWindow(*owner, window);
    return TRUE;
}

DWORD KvxPumpMessages(DWORD timeoutMs) {
    ThreadQueue& queue = CurrentQueue();
    if (timeoutMs != 0) {
        std::unique_lock<std::mutex> lock(queue.lock);
        const auto ready = [&queue] { return !queue.sent.empty() || !queue.posted.empty(); };
        if (timeoutMs == 0xFFFFFFFFu) {
            queue.arrived.wait(lock, ready);
        } else {
            queue.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        }
    }
    DWORD delivered = 0;
    for (;;) {
        const DWORD ran = RunSentMessages(queue);
        delivered += ran;
        MSG m{};
        if (!TakePosted(queue, m, nullptr, 0, 0, true)) {
            if (ran == 0) {
                break;
            }
            continue;
        }
        if (m.hwnd != nullptr) {
            WindowRecord record{};
            if (Lookup(m.hwnd, record)) {
                record.procedure(m.hwnd, m.message, m.wParam, m.lParam);
                ++delivered;
            }
        }
    }
    return delivered;
}
