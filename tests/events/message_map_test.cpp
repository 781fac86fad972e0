// Tests of the message-map macros: the record they keep in the handler, the entries they
// generate, and the thunks that call members on the right object.
#include "event_test_util.h"
#include "events/event_system.h"

namespace {

class Sensor : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCreate(uint64_t a, uint64_t b) { log.Add(1, a, b); }
    int OnTick(uint64_t a, uint64_t b) {  // a result is allowed and ignored
        log.Add(2, a, b);
        return 42;
    }
    CallLog log;

private:
    void OnPrivate(uint64_t a, uint64_t b) { log.Add(3, a, b); }
};

KVX_BEGIN_EVENT_MAP(Sensor)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_TIMER, OnTick)
KVX_ON_EVENT(0xFFFFFFFFu, OnPrivate)
KVX_END_EVENT_MAP()

TEST(MessageMap, RecordLivesInTheHandlerAndListsEntriesInOrder) {
    Sensor sensor;
    void* const handle = static_cast<CEventHandler*>(&sensor);
    const EVENT_HANDLER_INFO* const info = sensor.GetEventHandlerInfo(handle);
    ASSERT_NE(info, nullptr);
    // The three base fields are the record.
    const auto* const start = static_cast<const char*>(handle);
    const auto* const record = reinterpret_cast<const char*>(info);
    EXPECT_GE(record, start);
    EXPECT_LE(record + sizeof(EVENT_HANDLER_INFO), start + sizeof(CEventHandler));
    EXPECT_EQ(info->key, handle);
    EXPECT_EQ(sensor.GetEvHandle(), handle);
    EXPECT_EQ(info->object, static_cast<void*>(&sensor));
    const uint32_t ids[] = {EV_CREATE, EV_TIMER, 0xFFFFFFFFu, 0};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(info->map[i].id, ids[i]);
        EXPECT_EQ(info->map[i].adjustment, 0);
        EXPECT_EQ(info->map[i].function == nullptr, ids[i] == 0);
    }
}

TEST(MessageMap, ThunksCallTheMembers) {
    Sensor sensor;
    CEventSystem system;
    void* const handle = system.RegisterHandler(&sensor);
    EXPECT_TRUE(system.Deliver(handle, EV_TIMER, 5, 6));
    EXPECT_TRUE(system.Deliver(handle, 0xFFFFFFFFu, 7, 8));
    EXPECT_TRUE(system.DispatchOnePass());  // EV_CREATE
    EXPECT_EQ(sensor.log.Calls(), (std::vector<Call>{{2, 5, 6, 0}, {3, 7, 8, 0}, {1, 0, 0, 0}}));
}

// A handler whose CEventHandler part is not at its start, with members from several bases,
// one of them virtual and overridden.
class Other {
public:
    virtual ~Other() = default;
    virtual void OnVirtual(uint64_t a, uint64_t) { log.Add(10, a, 0); }
    void OnBase(uint64_t a, uint64_t) { log.Add(11, a, 0); }
    uint64_t padding[3] = {};
    CallLog log;
};

class Mixed : public Other, public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnVirtual(uint64_t a, uint64_t) override { log.Add(20, a, 0); }
};

KVX_BEGIN_EVENT_MAP(Mixed)
KVX_ON_EVENT(1, OnVirtual)
KVX_ON_EVENT(2, OnBase)
KVX_END_EVENT_MAP()

TEST(MessageMap, MembersOfOtherBasesGetTheirAdjustedObject) {
    Mixed mixed;
    CEventSystem system;
    void* const handle = system.RegisterHandler(&mixed);
    ASSERT_NE(handle, static_cast<void*>(&mixed));  // the CEventHandler part's address
    EXPECT_TRUE(system.Deliver(handle, 1, 100, 0));
    EXPECT_TRUE(system.Deliver(handle, 2, 200, 0));
    EXPECT_EQ(mixed.log.Calls(), (std::vector<Call>{{20, 100, 0, 0}, {11, 200, 0, 0}}));
}

class Plain : public CEventHandler {
public:
    EVENT_HANDLER_INFO* GetEventHandlerInfo(void* handle) override {
        return _SetEventHandlerInfo(handle, this, nullptr);
    }
};

TEST(MessageMap, CopyCarriesAllThreeFields) {
    Plain source;
    CEventSystem system;
    void* const handle = system.RegisterHandler(&source);
    const Plain copy(source);
    EXPECT_EQ(copy.GetEvHandle(), handle);
    Plain assigned;
    EXPECT_EQ(assigned.GetEvHandle(), nullptr);  // null after default construction
    assigned = source;
    EXPECT_EQ(assigned.GetEvHandle(), handle);
}

}  // namespace
