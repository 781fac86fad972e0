// Tests of the event system's lifecycle and its dispatcher thread.
#include "events/event_system.h"
#include "events/stop_event.h"
#include "probe.h"

namespace {

TEST(EventSystem, SecondCreateKeepsTheOneInstance) {
    EventSystemScope scope;
    CEventSystem* const first = CEventSystem::Instance();
    ASSERT_NE(first, nullptr);
    const HANDLE thread = first->GetThreadHandle();
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);  // running
    EXPECT_EQ(CreateEventSystem(), kvx_error_none);
    EXPECT_EQ(CEventSystem::Instance(), first);
    EXPECT_EQ(first->GetThreadHandle(), thread);
}

TEST(EventSystem, DestroyWithoutInstanceReturnsNone) {
    ASSERT_EQ(CEventSystem::Instance(), nullptr);
    EXPECT_EQ(DestroyEventSystem(), kvx_error_none);
    EXPECT_EQ(DestroyEventSystem(), kvx_error_none);
}

// Our choice: without an event system every operation does nothing and reports 0 or null.
TEST(EventSystem, OperationsWithoutInstanceDoNothing) {
    ASSERT_EQ(CEventSystem::Instance(), nullptr);
    class Counting : public CEventHandler {
    public:
        EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
            ++calls;
            return _SetEventHandlerInfo(handle, this, nullptr);
        }
        int calls = 0;
    } handler;
    EXPECT_EQ(CreateEventHandler(&handler), nullptr);
    EXPECT_EQ(handler.calls, 0);
    EXPECT_EQ(PostEvent(&handler, 1, 2, 3), 0u);
    EXPECT_EQ(SendEvent(&handler, 1, 2, 3), 0u);
    DestroyEventHandler(&handler);
    EXPECT_EQ(handler.PostEvent(1, 2, 3), 0u);
    EXPECT_EQ(handler.SendEvent(1, 2, 3), 0u);
    EXPECT_EQ(handler.SetTimer(10), 0u);
    handler.KillTimer(1);
    handler.DestroyEventHandler();
    HANDLE& stop = handler.GetStopEvent();
    EXPECT_EQ(stop, nullptr);
    stop = INVALID_HANDLE_VALUE;  // a host that writes to it changes nothing for later callers
    EXPECT_EQ(handler.GetStopEvent(), nullptr);
}

// Our choice: without a stop event no event system is made, and the host sees null handles.
TEST(EventSystem, NoStopEventMeansNoEventSystem) {
    KvxFailStopEvents(1);
    EXPECT_EQ(CreateEventSystem(), kvx_error_none);
    EXPECT_EQ(CEventSystem::Instance(), nullptr);
    Probe probe;
    EXPECT_EQ(CreateEventHandler(&probe), nullptr);
    EXPECT_EQ(DestroyEventSystem(), kvx_error_none);
    // The next attempt, with a stop event, works.
    EventSystemScope scope;
    EXPECT_NE(CreateEventHandler(&probe), nullptr);
    EXPECT_TRUE(probe.log.WaitFor(1));
    DestroyEventHandler(&probe);
}

TEST(EventSystem, TimerIdsStartAtOneInEachInstance) {
    Probe probe;
    for (int round = 0; round < 2; ++round) {
        EventSystemScope scope;
        CreateEventHandler(&probe);
        EXPECT_EQ(probe.SetTimer(100000), 1u);
        EXPECT_EQ(probe.SetTimer(100000), 2u);
        DestroyEventHandler(&probe);
    }
}

TEST(EventSystem, PostedAndTimerEventsRunOnTheDispatcherThread) {
    Probe probe;  // declared first: outlives the event system and any call in progress
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    ASSERT_EQ(handle, static_cast<void*>(static_cast<CEventHandler*>(&probe)));
    probe.PostEvent(kUser, 1, 2);
    probe.SetTimer(100000);
    ASSERT_TRUE(probe.log.WaitFor(4));  // EV_CREATE, kUser, two EV_TIMER
    const DWORD dispatcher = CEventSystem::Instance()->GetThreadId();
    EXPECT_NE(dispatcher, GetCurrentThreadId());
    for (const Call& call : probe.log.Calls()) {
        EXPECT_EQ(call.thread, dispatcher);
    }
    EXPECT_EQ(probe.log.Calls()[1], (Call{kUser, 1, 2, 0}));
    DestroyEventHandler(handle);
}

TEST(EventSystem, QueuedEventsAreDiscardedAtDestruction) {
    Probe probe;
    Gate running;
    HANDLE stopSeen = nullptr;
    {
        EventSystemScope scope;
        CreateEventHandler(&probe);
        probe.hook = [&](uint64_t, uint64_t) {
            running.Open();
            // Shutdown has begun once the stop event is signalled: finish then.
            stopSeen = probe.GetStopEvent();
            EXPECT_EQ(WaitForSingleObject(stopSeen, 10000), WAIT_OBJECT_0);
        };
        probe.PostEvent(kHook, 0, 0);
        probe.PostEvent(kUser, 0, 0);
        probe.PostEvent(kUser, 1, 0);
        ASSERT_TRUE(running.Wait());
        EXPECT_EQ(WaitForSingleObject(probe.GetStopEvent(), 0), WAIT_TIMEOUT);
    }  // DestroyEventSystem: the hook sees the stop event and returns
    EXPECT_NE(stopSeen, nullptr);
    EXPECT_EQ(probe.Calls(kHook).size(), 1u);
    EXPECT_TRUE(probe.Calls(kUser).empty());
}

// Our choice: from the dispatcher thread DestroyEventSystem only signals the stop event.
TEST(EventSystem, DestroyFromTheDispatcherOnlySignalsStop) {
    Probe probe;
    EventSystemScope scope;
    CreateEventHandler(&probe);
    probe.hook = [&](uint64_t, uint64_t) { EXPECT_EQ(DestroyEventSystem(), kvx_error_none); };
    probe.PostEvent(kHook, 0, 0);
    ASSERT_TRUE(probe.log.WaitFor(2));
    CEventSystem* const system = CEventSystem::Instance();
    ASSERT_NE(system, nullptr);  // still there
    EXPECT_EQ(WaitForSingleObject(system->GetThreadHandle(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(probe.GetStopEvent(), 0), WAIT_OBJECT_0);
    DestroyEventHandler(&probe);
}  // the scope's DestroyEventSystem completes the destruction

TEST(EventSystem, BurstIsDeliveredInPostingOrder) {
    Probe probe;
    Gate hold;
    EventSystemScope scope;
    CreateEventHandler(&probe);
    probe.hook = [&](uint64_t, uint64_t) { EXPECT_TRUE(hold.Wait()); };
    probe.PostEvent(kHook, 0, 0);
    constexpr uint64_t kCount = 5000;
    for (uint64_t i = 0; i < kCount; ++i) {
        PostEvent(probe.GetEvHandle(), kUser, i, 0);
    }
    hold.Open();
    ASSERT_TRUE(probe.log.WaitFor(kCount + 2));
    const std::vector<Call> users = probe.Calls(kUser);
    ASSERT_EQ(users.size(), kCount);
    for (uint64_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(users[i].param1, i);
    }
    DestroyEventHandler(&probe);
}

}  // namespace
