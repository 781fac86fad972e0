// Tests of timers: the due-time arithmetic on passes the test drives itself, then timers on a
// live dispatcher with the clock moved forward and back.
#include "events/event_system.h"
#include "probe.h"

namespace {

// Takes the queued events of an event system whose thread is not running.
std::vector<EVENT_RECORD> Drain(CEventSystem& system) {
    std::vector<EVENT_RECORD> records;
    EVENT_RECORD record;
    while (system.TakeFrontEvent(&record)) {
        records.push_back(record);
    }
    return records;
}

TEST(TimerArithmetic, SetTimerPostsAtOnceAndIsDueNow) {
    CEventSystem system;
    int a = 0, b = 0;
    const uint64_t before = CEventSystem::NowMs();
    EXPECT_EQ(system.SetTimer(&a, 1000), 1u);
    EXPECT_EQ(system.SetTimer(&b, 50), 2u);  // ids are shared by all handles
    const uint64_t after = CEventSystem::NowMs();
    const std::vector<EVENT_RECORD> posted = Drain(system);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].target, &a);
    EXPECT_EQ(posted[0].id, EV_TIMER);
    EXPECT_EQ(posted[0].param1, 1u);
    EXPECT_EQ(posted[0].param2, 0u);
    EXPECT_EQ(posted[1].param1, 2u);
    const std::vector<TIMER_INFO> timers = system.GetTimers();
    ASSERT_EQ(timers.size(), 2u);
    EXPECT_EQ(timers[0].period, 1000u);
    EXPECT_GE(timers[0].dueTime, before);
    EXPECT_LE(timers[0].dueTime, after);
}

TEST(TimerArithmetic, DueTimeAdvancesOnePeriodPerFiring) {
    CEventSystem system;
    int handle = 0;
    system.SetTimer(&handle, 1000);
    Drain(system);
    const uint64_t due = system.GetTimers()[0].dueTime;
    // Each step is one pass at the given time: fired or not, and the due time after it.
    const struct {
        uint64_t now;
        bool fires;
        uint64_t dueAfter;
    } passes[] = {
        {due - 1, false, due},            // not yet
        {due, true, due + 1000},          // exactly due
        {due + 999, false, due + 1000},   //
        {due + 3500, true, due + 2000},   // clock jumped forward: catch up,
        {due + 3500, true, due + 3000},   // one firing per pass
        {due + 3500, true, due + 4000},   //
        {due + 3500, false, due + 4000},  // caught up
        {due, false, due + 4000},         // clock set back: silent ...
        {due + 3999, false, due + 4000},  //
        {due + 4000, true, due + 5000},   // ... until it reaches the due time again
    };
    for (const auto& pass : passes) {
        SCOPED_TRACE(pass.now - due);
        system.FireDueTimers(pass.now);
        const std::vector<EVENT_RECORD> posted = Drain(system);
        ASSERT_EQ(posted.size(), pass.fires ? 1u : 0u);
        if (pass.fires) {
            EXPECT_EQ(posted[0].target, &handle);
            EXPECT_EQ(posted[0].param1, 1u);
        }
        EXPECT_EQ(system.GetTimers()[0].dueTime, pass.dueAfter);
    }
}

TEST(TimerArithmetic, PeriodZeroFiresOnEveryPass) {
    CEventSystem system;
    int handle = 0;
    system.SetTimer(&handle, 0);
    Drain(system);
    const uint64_t due = system.GetTimers()[0].dueTime;
    for (int pass = 0; pass < 5; ++pass) {
        system.FireDueTimers(due);
        EXPECT_EQ(Drain(system).size(), 1u);
    }
}

TEST(TimerArithmetic, TimersFireInCreationOrderWithinAPass) {
    CEventSystem system;
    int a = 0, b = 0;
    system.SetTimer(&a, 10);
    system.SetTimer(&b, 10);
    system.SetTimer(&a, 10);
    Drain(system);
    const uint64_t due = system.GetTimers()[2].dueTime;  // the latest of the three
    system.FireDueTimers(due);
    const std::vector<EVENT_RECORD> posted = Drain(system);
    ASSERT_EQ(posted.size(), 3u);
    for (uint64_t i = 0; i < 3; ++i) {
        EXPECT_EQ(posted[i].param1, i + 1);
    }
}

TEST(TimerArithmetic, KillTimerRemovesOnlyTheOwnHandlesTimer) {
    CEventSystem system;
    int a = 0, b = 0;
    const uint64_t ta = system.SetTimer(&a, 10);
    const uint64_t tb = system.SetTimer(&b, 10);
    system.KillTimer(&a, tb);  // another handle's timer
    system.KillTimer(&a, 99);  // no such timer
    EXPECT_EQ(system.GetTimers().size(), 2u);
    system.KillTimer(&a, ta);
    const std::vector<TIMER_INFO> left = system.GetTimers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].id, tb);
    EXPECT_EQ(system.GetQueueLength(), 2u);  // its queued event stays
    EXPECT_EQ(system.SetTimer(&a, 10), 3u);  // ids are never reused
}

TEST(TimerArithmetic, TimerPassComesBeforeTheQueue) {
    const EVENT_MAP_ENTRY map[] = {
        {kUser, LogCall<kUser>, 0}, {EV_TIMER, LogCall<EV_TIMER>, 0}, {0, nullptr, 0}};
    CallLog log;
    RecordHandler handler(&log, map);
    CEventSystem system;
    void* const handle = system.RegisterHandler(&handler);
    system.SetTimer(handle, 0);
    Drain(system);
    system.Post(handle, kUser, 0, 0);
    // Pass 1 posts a timer event behind kUser and delivers kUser; each later pass posts one
    // more and delivers the oldest.
    EXPECT_TRUE(system.DispatchOnePass());
    EXPECT_TRUE(system.DispatchOnePass());
    EXPECT_EQ(system.GetQueueLength(), 1u);
    const std::vector<Call> calls = log.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].tag, kUser);
    EXPECT_EQ(calls[1].tag, EV_TIMER);
}

// Resets the clock shift when a test ends, also a failed one.
class ClockShift {
public:
    ~ClockShift() { KvxSetClockShift(0); }
    void Set(int64_t ms) { KvxSetClockShift(ms * 10000); }
};

TEST(TimerLive, ClockJumpsCatchUpThenSilence) {
    ClockShift clock;
    Probe probe;  // declared before the event system: outlives any call in progress
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    constexpr int64_t kPeriod = 1000000;  // so that it fires only when the test moves the clock
    const uint64_t id = probe.SetTimer(static_cast<uint32_t>(kPeriod));
    ASSERT_TRUE(probe.log.WaitFor(3));  // EV_CREATE and two EV_TIMER
    clock.Set(3 * kPeriod + 500);       // three periods later
    ASSERT_TRUE(probe.log.WaitFor(6));
    // A sent event does not pass through the queue; a posted one does, after any timer event
    // posted before it.
    probe.PostEvent(kUser, 0, 0);
    ASSERT_TRUE(probe.log.WaitFor(7));
    std::vector<Call> timers = probe.Calls(EV_TIMER);
    EXPECT_EQ(timers.size(), 5u);
    for (const Call& call : timers) {
        EXPECT_EQ(call, (Call{EV_TIMER, id, 0, 0}));
    }
    clock.Set(4 * kPeriod);  // reaches the fourth period's due time: one more
    ASSERT_TRUE(probe.log.WaitFor(8));
    probe.PostEvent(kUser, 1, 0);
    ASSERT_TRUE(probe.log.WaitFor(9));
    EXPECT_EQ(probe.Calls(EV_TIMER).size(), 6u);
    DestroyEventHandler(handle);
}

TEST(TimerLive, SetBackClockSilencesAShortTimer) {
    ClockShift clock;
    Probe probe;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    probe.SetTimer(20);
    ASSERT_TRUE(probe.log.WaitFor(5));  // ticking
    clock.Set(-3600 * 1000);            // an hour back
    probe.PostEvent(kUser, 0, 0);
    ASSERT_TRUE(probe.log.WaitForCall([](const Call& call) { return call.tag == kUser; }));
    // Passes after the one that delivered kUser read the earlier clock; that pass may have read
    // it just before the change and posted one more tick behind kUser.
    const size_t ticks = probe.Calls(EV_TIMER).size();
    Gate never;
    never.Wait(200);  // ten periods
    EXPECT_LE(probe.Calls(EV_TIMER).size(), ticks + 1);
    clock.Set(0);
    ASSERT_TRUE(probe.log.WaitFor(probe.log.Size() + 3));  // ticking again
    DestroyEventHandler(handle);
}

TEST(TimerLive, UnregisteredHandlersTimersKeepFiringForTheNextRegistration) {
    Probe probe;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&probe);
    const uint64_t id = probe.SetTimer(0);
    ASSERT_TRUE(probe.log.WaitFor(3));
    DestroyEventHandler(handle);
    EXPECT_EQ(CEventSystem::Instance()->GetTimers().size(), 1u);
    const size_t before = probe.Calls(EV_TIMER).size();
    CreateEventHandler(&probe);
    ASSERT_TRUE(probe.log.WaitFor(probe.log.Size() + 3));
    EXPECT_GT(probe.Calls(EV_TIMER).size(), before);
    probe.KillTimer(id);
    DestroyEventHandler(handle);
}

}  // namespace
