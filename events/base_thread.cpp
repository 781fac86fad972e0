// base_thread.cpp: CQVBaseThread, the thread with a stop event.
#include "events/base_thread.h"

#include "events/stop_event.h"

namespace {
constexpr DWORD kStopGraceMs = 5000;
}

CQVBaseThread::CQVBaseThread()
    : _thread(nullptr), _stopEvent(KvxCreateStopEvent()), _parameter(nullptr), _threadId(0) {}

CQVBaseThread::~CQVBaseThread() {
    StopAndWait();
    if (_stopEvent != nullptr) {
        CloseHandle(_stopEvent);
    }
    if (_thread != nullptr) {
        CloseHandle(_thread);
    }
}

void CQVBaseThread::Start(void* parameter) {
    if (_stopEvent == nullptr) {
        return;
    }
    ResetEvent(_stopEvent);
    _parameter = parameter;
    if (_thread != nullptr) {
        CloseHandle(_thread);
        _thread = nullptr;
    }
    unsigned id = 0;
    _thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadEntry, this, 0, &id));
    _threadId = id;
}

void CQVBaseThread::StopAndWait() {
    if (_thread == nullptr || IsOwnThread() || WaitForSingleObject(_thread, 0) != WAIT_TIMEOUT) {
        return;
    }
    SetEvent(_stopEvent);
    // Never return while the thread may still run a handler on this object: after the grace
    // period, keep waiting.
    if (WaitForSingleObject(_thread, kStopGraceMs) == WAIT_TIMEOUT) {
        WaitForSingleObject(_thread, INFINITE);
    }
}

void CQVBaseThread::OnThreadStart(void*) {}

void CQVBaseThread::OnThreadExit(void*, uint32_t) {}

unsigned CQVBaseThread::ThreadEntry(void* self) {
    CQVBaseThread* const thread = static_cast<CQVBaseThread*>(self);
    void* const parameter = thread->_parameter;
    thread->OnThreadStart(parameter);
    const uint32_t exitCode = thread->Run(parameter);
    thread->OnThreadExit(parameter, exitCode);
    _endthreadex(exitCode);
    return exitCode;
}
