// Tests of the delivery rule, registration and the dispatcher pass, on an event system whose
// thread is not started, so that every pass is the test's own.
#include "event_test_util.h"
#include "events/event_system.h"

#include <cstddef>

namespace {

constexpr uint64_t kHigh = uint64_t{1} << 32;

TEST(Delivery, MatchesTheFirstEntryWithTheEventId) {
    const EVENT_MAP_ENTRY map[] = {
        {5, LogCall<1>, 0}, {7, LogCall<2>, 0}, {5, LogCall<3>, 0}, {0, nullptr, 0}};
    CallLog log;
    RecordHandler handler(&log, map);
    CEventSystem system;
    void* const handle = system.RegisterHandler(&handler);
    ASSERT_EQ(handle, static_cast<void*>(static_cast<CEventHandler*>(&handler)));

    const struct {
        uint64_t id;
        bool called;
        int tag;
    } cases[] = {
        {5, true, 1},           // the first of two entries for 5
        {7, true, 2},           //
        {9, false, 0},          // no entry
        {0, false, 0},          // the terminator never matches
        {kHigh + 5, false, 0},  // low 32 bits equal, but the id is wider
        {kHigh, false, 0},      // low 32 bits 0
        {EV_CREATE, false, 0},  // reserved ids are ordinary ids to the map
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const size_t before = log.Size();
        EXPECT_EQ(system.Deliver(handle, c.id, c.id + 1, c.id + 2), c.called);
        const std::vector<Call> calls = log.Calls();
        ASSERT_EQ(calls.size(), before + (c.called ? 1 : 0));
        if (c.called) {
            EXPECT_EQ(calls.back(), (Call{c.tag, c.id + 1, c.id + 2, 0}));
        }
    }
    EXPECT_FALSE(system.Deliver(nullptr, 5, 0, 0));
    EXPECT_FALSE(system.Deliver(&log, 5, 0, 0));  // an address that is not registered
}

TEST(Delivery, AdjustmentIsAddedToTheObjectAddress) {
    struct Pair {
        CallLog first;
        CallLog second;
    } pair;
    const auto offset = static_cast<int32_t>(offsetof(Pair, second));
    const EVENT_MAP_ENTRY fromFirst[] = {
        {1, LogCall<1>, 0}, {2, LogCall<2>, offset}, {0, nullptr, 0}};
    const EVENT_MAP_ENTRY fromSecond[] = {{3, LogCall<3>, -offset}, {0, nullptr, 0}};
    RecordHandler a(&pair.first, fromFirst);
    RecordHandler b(&pair.second, fromSecond);
    CEventSystem system;
    void* const ha = system.RegisterHandler(&a);
    void* const hb = system.RegisterHandler(&b);

    EXPECT_TRUE(system.Deliver(ha, 1, 10, 0));
    EXPECT_TRUE(system.Deliver(ha, 2, 20, 0));
    EXPECT_TRUE(system.Deliver(hb, 3, 30, 0));
    EXPECT_EQ(pair.first.Calls(), (std::vector<Call>{{1, 10, 0, 0}, {3, 30, 0, 0}}));
    EXPECT_EQ(pair.second.Calls(), (std::vector<Call>{{2, 20, 0, 0}}));
}

TEST(Delivery, NullMapOrNullFunctionCallsNothing) {
    const EVENT_MAP_ENTRY map[] = {{4, nullptr, 0}, {4, LogCall<1>, 0}, {0, nullptr, 0}};
    CallLog log;
    RecordHandler nullMap(&log, nullptr);
    RecordHandler nullFunction(&log, map);
    CEventSystem system;
    void* const h1 = system.RegisterHandler(&nullMap);
    void* const h2 = system.RegisterHandler(&nullFunction);
    EXPECT_FALSE(system.Deliver(h1, 4, 0, 0));
    EXPECT_FALSE(system.Deliver(h2, 4, 0, 0));  // the scan stops at the first 4
    // EV_CREATE was queued for both; neither map takes it.
    EXPECT_EQ(system.GetQueueLength(), 2u);
    EXPECT_FALSE(system.DispatchOnePass());
    EXPECT_FALSE(system.DispatchOnePass());
    system.UnregisterHandler(h1);  // no EV_DESTROY entry to call: nothing happens
    EXPECT_EQ(log.Size(), 0u);
}

// Returns a different record on each registration, all under the same key.
class TwoRecordHandler : public CEventHandler {
public:
    TwoRecordHandler(const EVENT_MAP_ENTRY* first, const EVENT_MAP_ENTRY* second, CallLog* log)
        : records{{nullptr, log, first}, {nullptr, log, second}} {}
    EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
        EVENT_HANDLER_INFO* const record = &records[calls++ % 2];
        record->key = handle;
        return record;
    }
    EVENT_HANDLER_INFO records[2];
    int calls = 0;
};

TEST(Delivery, FirstRegistrationUnderAKeyWinsAndUnregisterRemovesAll) {
    const EVENT_MAP_ENTRY first[] = {
        {9, LogCall<1>, 0}, {EV_DESTROY, LogCall<11>, 0}, {0, nullptr, 0}};
    const EVENT_MAP_ENTRY second[] = {
        {9, LogCall<2>, 0}, {EV_DESTROY, LogCall<12>, 0}, {0, nullptr, 0}};
    CallLog log;
    TwoRecordHandler handler(first, second, &log);
    CEventSystem system;
    void* const handle = system.RegisterHandler(&handler);
    EXPECT_EQ(system.RegisterHandler(&handler), handle);
    EXPECT_EQ(handler.calls, 2);
    EXPECT_EQ(system.GetQueueLength(), 2u);  // two EV_CREATE

    EXPECT_TRUE(system.Deliver(handle, 9, 0, 0));
    system.UnregisterHandler(handle);  // EV_DESTROY to the first record only, on this thread
    system.UnregisterHandler(handle);  // nothing left: nothing happens
    EXPECT_FALSE(system.Deliver(handle, 9, 0, 0));
    const std::vector<Call> calls = log.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].tag, 1);
    EXPECT_EQ(calls[1], (Call{11, 0, 0, 0}));
    EXPECT_EQ(calls[1].thread, GetCurrentThreadId());
}

TEST(Delivery, NullHandlerOrNullRecordRegistersNothing) {
    class NoRecord : public CEventHandler {
    public:
        EVENT_HANDLER_INFO* GetEventHandlerInfo(void*) override { return nullptr; }
    } noRecord;
    CEventSystem system;
    EXPECT_EQ(system.RegisterHandler(nullptr), nullptr);
    EXPECT_EQ(system.RegisterHandler(&noRecord), nullptr);
    EXPECT_EQ(system.GetQueueLength(), 0u);  // no EV_CREATE
    EXPECT_FALSE(system.Deliver(&noRecord, 1, 0, 0));
}

TEST(DispatchPass, DeliversOneQueuedEventPerPassInPostingOrder) {
    const EVENT_MAP_ENTRY map[] = {{1, LogCall<1>, 0}, {2, LogCall<2>, 0}, {0, nullptr, 0}};
    CallLog log;
    RecordHandler handler(&log, map);
    CEventSystem system;
    void* const handle = system.RegisterHandler(&handler);
    system.Post(handle, 2, 1, 0);
    system.Post(nullptr, 1, 0, 0);  // nobody: dropped
    system.Post(handle, 1, 2, 0);
    system.Post(handle, 0, 3, 0);  // id 0: dropped

    const bool expected[] = {false /* EV_CREATE */, true, false, true, false, false};
    for (bool called : expected) {
        EXPECT_EQ(system.DispatchOnePass(), called);
    }
    EXPECT_EQ(log.Calls(), (std::vector<Call>{{2, 1, 0, 0}, {1, 2, 0, 0}}));
    EXPECT_EQ(system.GetQueueLength(), 0u);
}

// A handler function may use every operation, the registration ones included: no lock of
// the event system is held while it runs.
CEventSystem* g_system = nullptr;
CallLog* g_log = nullptr;
RecordHandler* g_other = nullptr;

void ReenterEverything(void* object, uint64_t, uint64_t) {
    void* const self = object;
    void* const other = g_system->RegisterHandler(g_other);
    g_system->Post(other, 1, 0, 0);
    g_system->Deliver(other, 1, 7, 0);
    const uint64_t timer = g_system->SetTimer(self, 1000);
    g_system->KillTimer(self, timer);
    g_system->UnregisterHandler(other);
    g_log->Add(99, timer, 0);
}

TEST(Delivery, HandlerFunctionMayUseEveryOperation) {
    CallLog log;
    const EVENT_MAP_ENTRY otherMap[] = {
        {1, LogCall<1>, 0}, {EV_DESTROY, LogCall<2>, 0}, {0, nullptr, 0}};
    RecordHandler other(&log, otherMap);
    const EVENT_MAP_ENTRY selfMap[] = {{5, ReenterEverything, 0}, {0, nullptr, 0}};
    RecordHandler self(nullptr, selfMap);
    CEventSystem system;
    g_system = &system;
    g_log = &log;
    g_other = &other;
    void* const handle = system.RegisterHandler(&self);
    self.record.object = handle;

    EXPECT_TRUE(system.Deliver(handle, 5, 0, 0));
    system.Post(handle, 5, 0, 0);
    while (system.GetQueueLength() > 0) {
        system.DispatchOnePass();
    }
    EXPECT_EQ(
        log.Calls(),
        (std::vector<Call>{
            {1, 7, 0, 0}, {2, 0, 0, 0}, {99, 1, 0, 0}, {1, 7, 0, 0}, {2, 0, 0, 0}, {99, 2, 0, 0}}));
    EXPECT_TRUE(system.GetTimers().empty());
}

}  // namespace
