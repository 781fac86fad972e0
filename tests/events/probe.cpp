// probe.cpp: the Probe handler's message map.
#include "probe.h"

KVX_BEGIN_EVENT_MAP(Probe)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_DESTROY, OnDestroy)
KVX_ON_EVENT(EV_TIMER, OnTimer)
KVX_ON_EVENT(kUser, OnUser)
KVX_ON_EVENT(kHook, OnHook)
KVX_END_EVENT_MAP()

void Probe::OnHook(uint64_t a, uint64_t b) {
    if (hook) {
        hook(a, b);
    }
    log.Add(kHook, a, b);
}

std::vector<Call> Probe::Calls(int tag) {
    std::vector<Call> selected;
    for (const Call& call : log.Calls()) {
        if (call.tag == tag) {
            selected.push_back(call);
        }
    }
    return selected;
}
