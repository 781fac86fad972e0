// sync_events.cpp: CreateEventW, SetEvent and ResetEvent: manual- and auto-reset events.
#include "platform/posix/waitable.h"
#include "platform/win32.h"

#include <memory>

namespace {

class EventObject : public KvxWaitable {
public:
    EventObject(bool manualReset, bool signalled)
        : _manualReset(manualReset), _signalled(signalled) {}

    bool IsSignalledLocked() const override { return _signalled; }
    void ConsumeLocked() override {
        if (!_manualReset) {
            _signalled = false;
        }
    }
    void SetLocked(bool signalled) {
        _signalled = signalled;
        if (signalled) {
            WakeWaitersLocked();
        }
    }

private:
    const bool _manualReset;
    bool _signalled;
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
