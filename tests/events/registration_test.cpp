// Tests of CreateEventHandler, DestroyEventHandler, PostEvent and SendEvent with a live
// dispatcher.
#include "events/event_system.h"
#include "probe.h"

namespace {

// Each test declares its handlers before the event system, so that the event system (and with
// it any handler call still in progress on the dispatcher) ends before they do.

TEST(EventsLive, CreatePostsEvCreateOnlyToHandlersThatMapIt) {
    Probe probe;
    CallLog silentLog;
    const EVENT_MAP_ENTRY userOnly[] = {{kUser, LogCall<kUser>, 0}, {0, nullptr, 0}};
    RecordHandler silent(&silentLog, userOnly);
    EventSystemScope scope;
    EXPECT_EQ(CreateEventHandler(nullptr), nullptr);
    void* const h1 = CreateEventHandler(&silent);
    void* const h2 = CreateEventHandler(&probe);
    PostEvent(h1, kUser, 0, 0);  // after its EV_CREATE in the queue
    ASSERT_TRUE(silentLog.WaitFor(1));
    ASSERT_TRUE(probe.log.WaitFor(1));
    EXPECT_EQ(probe.log.Calls()[0], (Call{EV_CREATE, 0, 0, 0}));
    EXPECT_EQ(silentLog.Calls(), (std::vector<Call>{{kUser, 0, 0, 0}}));
    DestroyEventHandler(h1);
    DestroyEventHandler(h2);
}

TEST(EventsLive, DestroyCallsEvDestroyOnTheCallingThreadOnce) {
    Probe probe;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    ASSERT_TRUE(probe.log.WaitFor(1));
    DestroyEventHandler(handle);
    const std::vector<Call> destroyed = probe.Calls(EV_DESTROY);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_EQ(destroyed[0].thread, GetCurrentThreadId());
    DestroyEventHandler(handle);
    probe.DestroyEventHandler();
    EXPECT_EQ(probe.Calls(EV_DESTROY).size(), 1u);
    EXPECT_EQ(SendEvent(handle, kUser, 0, 0), 0u);
    EXPECT_TRUE(probe.Calls(kUser).empty());
}

TEST(EventsLive, SendRunsOnTheCallerAheadOfQueuedEvents) {
    Probe probe;
    Gate hold;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    probe.hook = [&](uint64_t a, uint64_t) {
        if (a == 1) {
            EXPECT_TRUE(hold.Wait());
        }
    };
    PostEvent(handle, kHook, 1, 0);  // holds the dispatcher
    PostEvent(handle, kUser, 1, 0);
    EXPECT_EQ(SendEvent(handle, kUser, 2, 0), 0u);
    EXPECT_EQ(probe.SendEvent(kUser, 3, 0), 0u);
    hold.Open();
    ASSERT_TRUE(probe.log.WaitFor(5));
    const std::vector<Call> users = probe.Calls(kUser);
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0].param1, 2u);
    EXPECT_EQ(users[0].thread, GetCurrentThreadId());
    EXPECT_EQ(users[1].param1, 3u);
    EXPECT_EQ(users[2].param1, 1u);
    EXPECT_NE(users[2].thread, GetCurrentThreadId());
    DestroyEventHandler(handle);
}

TEST(EventsLive, SendFromAHandlerIsReentrant) {
    Probe probe;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    probe.hook = [&](uint64_t depth, uint64_t) {
        if (depth < 3) {
            probe.SendEvent(kHook, depth + 1, 0);
        }
    };
    probe.SendEvent(kHook, 0, 0);
    // Innermost first: the nested calls finish before the outer ones log.
    const std::vector<Call> hooks = probe.Calls(kHook);
    ASSERT_EQ(hooks.size(), 4u);
    for (uint64_t i = 0; i < 4; ++i) {
        EXPECT_EQ(hooks[i].param1, 3 - i);
        EXPECT_EQ(hooks[i].thread, GetCurrentThreadId());
    }
    DestroyEventHandler(handle);
}

TEST(EventsLive, QueuedEventsFollowTheHandleNotTheRegistration) {
    Probe probe;
    Gate hold;
    Probe blocker;
    EventSystemScope scope;
    void* const blockerHandle = CreateEventHandler(&blocker);
    blocker.hook = [&](uint64_t, uint64_t) { EXPECT_TRUE(hold.Wait()); };
    void* const handle = CreateEventHandler(&probe);
    ASSERT_TRUE(probe.log.WaitFor(1));
    PostEvent(blockerHandle, kHook, 0, 0);
    PostEvent(handle, kUser, 1, 0);  // queued while registered ...
    DestroyEventHandler(handle);     // ... unregistered ...
    PostEvent(handle, kUser, 2, 0);
    EXPECT_EQ(CreateEventHandler(&probe), handle);  // ... registered again: both arrive
    hold.Open();
    ASSERT_TRUE(probe.log.WaitFor(5));
    const std::vector<Call> calls = probe.log.Calls();
    const std::vector<int> tags = {EV_CREATE, EV_DESTROY, kUser, kUser, EV_CREATE};
    ASSERT_EQ(calls.size(), tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        EXPECT_EQ(calls[i].tag, tags[i]);
    }
    DestroyEventHandler(handle);
    DestroyEventHandler(blockerHandle);
}

TEST(EventsLive, CopyOfAHandlerPostsToTheSource) {
    class Forwarder : public CEventHandler {
    public:
        EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
            return _SetEventHandlerInfo(handle, &log, map);
        }
        CallLog log;
        const EVENT_MAP_ENTRY map[2] = {{kUser, LogCall<kUser>, 0}, {0, nullptr, 0}};
    };
    Forwarder source;
    Probe copy;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&source);
    static_cast<CEventHandler&>(copy) = source;  // the three fields, not the map
    EXPECT_EQ(copy.GetEvHandle(), handle);
    copy.PostEvent(kUser, 9, 0);
    ASSERT_TRUE(source.log.WaitFor(1));
    EXPECT_EQ(source.log.Calls()[0], (Call{kUser, 9, 0, 0}));
    DestroyEventHandler(handle);
}

// A handler object destroyed while registered stays registered: its record is still used.
TEST(EventsLive, DestroyingTheObjectDoesNotUnregister) {
    CallLog log;
    const EVENT_MAP_ENTRY map[] = {
        {kUser, LogCall<kUser>, 0}, {EV_DESTROY, LogCall<EV_DESTROY>, 0}, {0, nullptr, 0}};
    EVENT_HANDLER_INFO record{nullptr, &log, map};
    class External : public CEventHandler {
    public:
        explicit External(EVENT_HANDLER_INFO* r) : _record(r) {}
        EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
            _record->key = handle;
            return _record;
        }

    private:
        EVENT_HANDLER_INFO* _record;
    };
    EventSystemScope scope;
    auto* handler = new External(&record);
    void* const handle = CreateEventHandler(handler);
    delete handler;
    SendEvent(handle, kUser, 5, 0);
    DestroyEventHandler(handle);
    EXPECT_EQ(log.Calls(), (std::vector<Call>{{kUser, 5, 0, 0}, {EV_DESTROY, 0, 0, 0}}));
}

}  // namespace
