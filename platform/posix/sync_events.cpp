// sync_events.cpp: CreateEventW, SetEvent and ResetEvent: manual- and auto-reset events.
#include "platform/posix/waitable.h"
#include "platform/win32.h"

#include <atomic>
#include <memory>

namespace {

class EventObject : public KvxWaitable {
public:
    EventObject(bool manualReset, bool signalled)
        : _manualReset(manualReset), _signalled(signalled) {}

    bool IsSignalledLocked() const override { return _signalled.load(std::memory_order_relaxed); }
    void ConsumeLocked() override {
        if (!_manualReset) {
            _signalled.store(false, std::memory_order_relaxed);
        }
    }
    // A wait on a manual-reset event takes nothing, so its state can be read without the lock.
    bool PeekUnlocked(bool* signalled) const override {
        if (!_manualReset) {
            return false;
        }
        *signalled = _signalled.load(std::memory_order_acquire);
        return true;
    }
    void SetLocked(bool signalled) {
        _signalled.store(signalled, std::memory_order_release);
        if (signalled) {
            WakeWaitersLocked();
        }
    }

private:
    const bool _manualReset;
    std::atomic<bool> _signalled;  // written under KvxSyncLock()
};

BOOL SetState(HANDLE event, bool signalled) {
    const std::shared_ptr<EventObject> object = KvxHandleGet<EventObject>(event);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(KvxSyncLock());
    object->SetLocked(signalled);
    return TRUE;
}

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    if (name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return KvxHandleInsert(
        std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
    return SetState(event, true);
}

BOOL ResetEvent(HANDLE event) {
    return SetState(event, false);
}
