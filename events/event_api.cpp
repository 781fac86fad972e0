// event_api.cpp: the exported event operations: lifecycle, registration, posting, sending, and
// CEventHandler's members, each acting on the process's one event system if there is one.
#include "events/event_system.h"
#include "kvx/events.h"

kvx_error CreateEventSystem() {
    if (CEventSystem::Instance() != nullptr) {
        return kvx_error_none;
    }
    auto* system = new CEventSystem;
    if (system->GetStopEventHandle() == nullptr) {
        // Without a stop event the dispatcher could never be stopped: make no event system.
        delete system;
        return kvx_error_none;
    }
    // Published before the thread starts: handler functions on it find the instance.
    CEventSystem::SetInstance(system);
    try {
        system->Start(nullptr);
    } catch (...) {
        // No memory for the thread: the caller gets the exception and no half-made event
        // system that would never deliver a posted event.
        CEventSystem::SetInstance(nullptr);
        delete system;
        throw;
    }
    return kvx_error_none;
}

kvx_error DestroyEventSystem() {
    CEventSystem* const system = CEventSystem::Instance();
    if (system == nullptr) {
        return kvx_error_none;
    }
    if (system->IsOwnThread()) {
        // The dispatcher cannot wait for its own end: ask it to stop, leave the rest to a
        // later call from another thread.
        SetEvent(system->GetStopEventHandle());
        return kvx_error_none;
    }
    system->StopAndWait();
    // Cleared first, so that a late caller finds no instance rather than a destroyed one.
    CEventSystem::SetInstance(nullptr);
    delete system;
    return kvx_error_none;
}

void* CreateEventHandler(CEventHandler* handler) {
    CEventSystem* const system = CEventSystem::Instance();
    return system != nullptr ? system->RegisterHandler(handler) : nullptr;
}

void DestroyEventHandler(void* handle) {
    if (CEventSystem* const system = CEventSystem::Instance()) {
        system->UnregisterHandler(handle);
    }
}

uint64_t PostEvent(void* handle, uint64_t id, uint64_t param1, uint64_t param2) {
    if (CEventSystem* const system = CEventSystem::Instance()) {
        system->Post(handle, id, param1, param2);
    }
    return 0;
}

uint64_t SendEvent(void* handle, uint64_t id, uint64_t param1, uint64_t param2) {
    if (CEventSystem* const system = CEventSystem::Instance()) {
        system->Deliver(handle, id, param1, param2);
    }
    return 0;
}

CEventHandler::~CEventHandler() = default;

HANDLE& CEventHandler::GetStopEvent() {
    if (CEventSystem* const system = CEventSystem::Instance()) {
        return system->GetStopEventHandle();
    }
    thread_local HANDLE none;
    none = nullptr;
    return none;
}

uint64_t CEventHandler::PostEvent(uint64_t id, uint64_t param1, uint64_t param2) {
    return ::PostEvent(GetEvHandle(), id, param1, param2);
}

uint64_t CEventHandler::SendEvent(uint64_t id, uint64_t param1, uint64_t param2) {
    return ::SendEvent(GetEvHandle(), id, param1, param2);
}

void CEventHandler::DestroyEventHandler() {
    ::DestroyEventHandler(GetEvHandle());
}

uint64_t CEventHandler::SetTimer(uint32_t periodMs) {
    CEventSystem* const system = CEventSystem::Instance();
    return system != nullptr ? system->SetTimer(GetEvHandle(), periodMs) : 0;
}

void CEventHandler::KillTimer(uint64_t timerId) {
    if (CEventSystem* const system = CEventSystem::Instance()) {
        system->KillTimer(GetEvHandle(), timerId);
    }
}
