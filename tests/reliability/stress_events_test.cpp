// stress_events_test.cpp: eight threads post, send, register and unregister handlers and set
// and kill timers for the stress duration. Afterwards every event posted or sent to a handler
// that stayed registered must have arrived exactly once, each sender's posts in order; sends
// to an unregistered handler must not arrive; no timer may fire after its kill has drained.
#include "stress_support.h"

#include "kvx/events.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kStable = 4;              // handlers registered for the whole test
constexpr int kRelaySender = kThreads;  // the dispatcher, posting on behalf of relays
constexpr int kSenders = kThreads + 1;
constexpr int kTransientsEach = 4;    // handlers each thread registers and unregisters
constexpr size_t kTimersEach = 4;     // live timers a thread keeps at most
constexpr uint64_t kAckEvery = 1024;  // a thread waits for its previous ack every this many ops

constexpr uint32_t kPosted = 100;  // sender, sequence
constexpr uint32_t kSent = 101;    // sender, sequence
constexpr uint32_t kRelay = 102;   // stable index to post to, 0
constexpr uint32_t kAck = 103;     // sender, ticket
constexpr uint32_t kFence = 104;   // round, 0
constexpr uint32_t kLoose = 105;   // posted to transients, which may be gone: counted only

std::atomic<uint64_t> g_ackedTicket[kThreads];

class Stable;
Stable* g_stable[kStable];
uint64_t g_relayed[kStable];  // relayed posts and sends per stable handler; dispatcher only

// A handler that stays registered. Posted events run on the dispatcher only, so their state is
// plain; each sender's send slot is written only on the sender's own thread.
class Stable : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();

    void OnPosted(uint64_t sender, uint64_t sequence) {
        if (sender >= kSenders || sequence != nextPosted[sender]) {
            ++postedErrors;
            return;
        }
        nextPosted[sender] = sequence + 1;
    }
    void OnSent(uint64_t sender, uint64_t sequence) {
        if (sender >= kSenders) {
            ++sendOutOfRange;
            return;
        }
        lastSent[sender] = sequence;
        ++sentCount[sender];
    }
    void OnRelay(uint64_t to, uint64_t) {
        ++relaysHandled;
        if (to >= kStable) {
            ++postedErrors;
            return;
        }
        // Posting and sending from inside a handler function, on the dispatcher thread.
        ::PostEvent(g_stable[to]->GetEvHandle(), kPosted, kRelaySender, g_relayed[to]);
        g_stable[to]->SendEvent(kSent, kRelaySender, g_relayed[to]);
        ++g_relayed[to];
    }
    void OnAck(uint64_t sender, uint64_t ticket) {
        if (sender < kThreads) {
            g_ackedTicket[sender].store(ticket);
        }
    }
    void OnFence(uint64_t round, uint64_t) { fence.store(round); }
    void OnTimer(uint64_t id, uint64_t) {
        ++timerEvents;
        timerErrors += id == 0 ? 1 : 0;
    }
    void OnLoose(uint64_t, uint64_t) { ++looseDelivered; }

    uint64_t nextPosted[kSenders] = {};
    uint64_t postedErrors = 0;
    uint64_t lastSent[kSenders] = {};
    uint64_t sentCount[kSenders] = {};
    uint64_t sendOutOfRange = 0;  // only by senders out of range, which never happens
    uint64_t relaysHandled = 0;
    std::atomic<uint64_t> timerEvents{0};
    uint64_t timerErrors = 0;
    uint64_t looseDelivered = 0;
    std::atomic<uint64_t> fence{0};
};

KVX_BEGIN_EVENT_MAP(Stable)
KVX_ON_EVENT(kPosted, OnPosted)
KVX_ON_EVENT(kSent, OnSent)
KVX_ON_EVENT(kRelay, OnRelay)
KVX_ON_EVENT(kAck, OnAck)
KVX_ON_EVENT(kFence, OnFence)
KVX_ON_EVENT(EV_TIMER, OnTimer)
KVX_ON_EVENT(kLoose, OnLoose)
KVX_END_EVENT_MAP()

// A handler its owner thread registers and unregisters over and over. It lives to the end of
// the test: a function of it may still run after its DestroyEventHandler has returned, and
// events queued under its handle reach it again whenever it is registered anew. Sends and
// EV_DESTROY run on the owner's thread; the dispatcher's counters are atomic.
class Transient : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCreate(uint64_t, uint64_t) { ++creates; }
    void OnDestroy(uint64_t, uint64_t) { ++destroys; }
    void OnSent(uint64_t, uint64_t) { ++sends; }
    void OnLoose(uint64_t, uint64_t) { ++loose; }
    void OnTimer(uint64_t, uint64_t) { ++timers; }

    std::atomic<uint64_t> creates{0};
    std::atomic<uint64_t> loose{0};
    std::atomic<uint64_t> timers{0};
    uint64_t destroys = 0;  // owner thread only
    uint64_t sends = 0;     // owner thread only
    bool registered = false;
};

KVX_BEGIN_EVENT_MAP(Transient)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(EV_DESTROY, OnDestroy)
KVX_ON_EVENT(kSent, OnSent)
KVX_ON_EVENT(kLoose, OnLoose)
KVX_ON_EVENT(EV_TIMER, OnTimer)
KVX_END_EVENT_MAP()

// What one thread did and what it saw go wrong on its own thread.
struct ThreadTally {
    uint64_t posted[kStable] = {};
    uint64_t sent[kStable] = {};
    uint64_t relays = 0;
    uint64_t acks = 0;
    uint64_t loosePosts = 0;
    uint64_t registrations = 0;
    uint64_t unregistrations = 0;
    uint64_t transientSends = 0;     // sent while registered: must arrive
    uint64_t unregisteredSends = 0;  // sent while unregistered: must not arrive
    uint64_t timersSet = 0;
    uint64_t timersKilled = 0;
    uint64_t errors = 0;

    ThreadTally& operator+=(const ThreadTally& other) {
        for (size_t k = 0; k < kStable; ++k) {
            posted[k] += other.posted[k];
            sent[k] += other.sent[k];
        }
        relays += other.relays;
        acks += other.acks;
        loosePosts += other.loosePosts;
        registrations += other.registrations;
        unregistrations += other.unregistrations;
        transientSends += other.transientSends;
        unregisteredSends += other.unregisteredSends;
        timersSet += other.timersSet;
        timersKilled += other.timersKilled;
        errors += other.errors;
        return *this;
    }
};

struct LiveTimer {
    CEventHandler* handler;
    uint64_t id;
    bool everyPass;
};

class EventSystemScope {
public:
    EventSystemScope() { EXPECT_EQ(CreateEventSystem(), kvx_error_none); }
    ~EventSystemScope() { DestroyEventSystem(); }
    EventSystemScope(const EventSystemScope&) = delete;
    EventSystemScope& operator=(const EventSystemScope&) = delete;
};

Transient* g_transients[kThreads][kTransientsEach];

// Waits until `done()` holds: first by yielding, then in 1 ms sleeps. Eight threads that only
// yielded would leave the dispatcher (and, under Wine, the Wine server its waits go through) a
// small share of two cores; shorter sleeps are busy waits on some platforms.
template <class Done> void WaitUntil(Done done) {
    for (int tries = 0; !done(); ++tries) {
        if (tries < 32) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

// At most one timer of period 0 at a time: such a timer posts on every dispatcher pass, and a
// pass delivers one event, so two of them would grow the queue without end.
std::atomic<bool> g_everyPassTimer{false};

// The dispatcher delivers one event per pass and waits 1 ms after a dropped one, so the load
// keeps dropped events rare (posts to transients that may be gone) and timers on registered
// handlers only, with periods of 5 ms and more: the queue then drains faster than it fills.
void Worker(int self, const StressClock& clock, ThreadTally& tally) {
    StressRandom random(static_cast<uint64_t>(self) + 1);
    std::vector<LiveTimer> timers;
    uint64_t ticket = 0;
    uint64_t sendSequence = 0;
    const uint64_t sender = static_cast<uint64_t>(self);
    auto killTimer = [&](size_t index) {
        timers[index].handler->KillTimer(timers[index].id);
        if (timers[index].everyPass) {
            g_everyPassTimer.store(false);
        }
        timers[index] = timers.back();
        timers.pop_back();
        ++tally.timersKilled;
    };
    auto unregister = [&](Transient& transient) {
        for (size_t i = timers.size(); i-- > 0;) {
            if (timers[i].handler == &transient) {
                killTimer(i);
            }
        }
        const uint64_t before = transient.destroys;
        DestroyEventHandler(static_cast<CEventHandler*>(&transient));
        transient.registered = false;
        ++tally.unregistrations;
        tally.errors += transient.destroys == before + 1 ? 0 : 1;
    };
    for (uint64_t op = 1; clock.Running(); ++op) {
        if (op % kAckEvery == 0) {
            // Keeps this thread's share of the queue bounded: the previous ack must be through.
            WaitUntil([&] { return g_ackedTicket[self].load() >= ticket; });
            PostEvent(g_stable[0]->GetEvHandle(), kAck, sender, ++ticket);
            ++tally.acks;
        }
        const uint64_t roll = random.Below(100);
        const size_t k = static_cast<size_t>(random.Below(kStable));
        Stable& target = *g_stable[k];
        Transient& own = *g_transients[self][random.Below(kTransientsEach)];
        if (roll < 49) {
            PostEvent(target.GetEvHandle(), kPosted, sender, tally.posted[k]++);
        } else if (roll < 64) {
            target.SendEvent(kSent, sender, ++sendSequence);
            if (target.lastSent[self] != sendSequence) {
                ++tally.errors;
            }
            ++tally.sent[k];
        } else if (roll < 69) {
            PostEvent(target.GetEvHandle(), kRelay, random.Below(kStable), 0);
            ++tally.relays;
        } else if (roll < 70) {
            // To any thread's transient, registered or not: dropped when it is not.
            CEventHandler* const other =
                g_transients[random.Below(kThreads)][random.Below(kTransientsEach)];
            PostEvent(other, kLoose, sender, 0);
            ++tally.loosePosts;
        } else if (roll < 79) {
            const uint64_t before = own.sends;
            SendEvent(static_cast<CEventHandler*>(&own), kSent, sender, 0);
            if (own.registered) {
                ++tally.transientSends;
                tally.errors += own.sends == before + 1 ? 0 : 1;
            } else {
                ++tally.unregisteredSends;
                tally.errors += own.sends == before ? 0 : 1;
            }
        } else if (roll < 83) {
            if (own.registered) {
                unregister(own);
            } else {
                void* const handle = CreateEventHandler(&own);
                own.registered = handle == static_cast<CEventHandler*>(&own);
                tally.errors += own.registered ? 0 : 1;
                ++tally.registrations;
            }
        } else if (roll < 91) {
            if (timers.size() >= kTimersEach) {
                killTimer(static_cast<size_t>(random.Below(timers.size())));
                continue;
            }
            CEventHandler* const handler = own.registered && random.Below(2) == 0
                                               ? static_cast<CEventHandler*>(&own)
                                               : static_cast<CEventHandler*>(&target);
            bool everyPass = false;
            if (random.Below(16) == 0) {
                bool none = false;
                everyPass = g_everyPassTimer.compare_exchange_strong(none, true);
            }
            const auto period = static_cast<uint32_t>(everyPass ? 0 : 5 + random.Below(36));
            const uint64_t id = handler->SetTimer(period);
            tally.errors += id == 0 ? 1 : 0;
            timers.push_back(LiveTimer{handler, id, everyPass});
            ++tally.timersSet;
        } else if (!timers.empty()) {
            killTimer(static_cast<size_t>(random.Below(timers.size())));
        }
    }
    while (!timers.empty()) {
        killTimer(timers.size() - 1);
    }
    for (Transient* transient : g_transients[self]) {
        if (transient->registered) {
            unregister(*transient);
        }
    }
    // The last ack through, so the check can expect every ack handled.
    WaitUntil([&] { return g_ackedTicket[self].load() >= ticket; });
}

// Posts a fence to every stable handler and waits until all have seen it: every event posted
// before it has then been delivered.
void Fence(uint64_t round) {
    for (Stable* stable : g_stable) {
        PostEvent(stable->GetEvHandle(), kFence, round, 0);
    }
    for (Stable* stable : g_stable) {
        WaitUntil([&] { return stable->fence.load() >= round; });
    }
}

TEST(Stress, EventsPostedOrSentToRegisteredHandlersArriveExactlyOnceInOrder) {
    StressWatchdog watchdog("events");
    // The handlers outlive the event system, which may still run their functions until then.
    std::vector<std::unique_ptr<Stable>> stables;
    std::vector<std::unique_ptr<Transient>> transients;
    EventSystemScope system;
    for (Stable*& stable : g_stable) {
        stable = stables.emplace_back(std::make_unique<Stable>()).get();
        ASSERT_EQ(CreateEventHandler(stable), static_cast<CEventHandler*>(stable));
    }
    for (auto& row : g_transients) {
        for (Transient*& transient : row) {
            transient = transients.emplace_back(std::make_unique<Transient>()).get();
        }
    }
    for (std::atomic<uint64_t>& acked : g_ackedTicket) {
        acked.store(0);
    }
    for (uint64_t& relayed : g_relayed) {
        relayed = 0;
    }

    watchdog.Phase("load");
    std::array<ThreadTally, kThreads> tallies;
    {
        const StressClock clock;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(Worker, t, std::cref(clock),
                                 std::ref(tallies[static_cast<size_t>(t)]));
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    // Relays handled before the first fence post behind it; the second fence follows those.
    watchdog.Phase("draining the queue");
    Fence(1);
    Fence(2);
    const auto timerEventsNow = [] {
        uint64_t total = 0;
        for (Stable* stable : g_stable) {
            total += stable->timerEvents.load();
        }
        return total;
    };
    const uint64_t timerEventsAfterKills = timerEventsNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // 5 times the longest period
    Fence(3);
    EXPECT_EQ(timerEventsNow(), timerEventsAfterKills) << "a timer fired after its kill";

    watchdog.Phase("checking");
    const ThreadTally sum = SumOf(tallies);
    uint64_t postsDelivered = 0;
    uint64_t sendsDelivered = 0;
    for (size_t t = 0; t < kThreads; ++t) {
        const ThreadTally& tally = tallies[t];
        EXPECT_EQ(tally.errors, 0u) << "thread " << t;
        for (size_t k = 0; k < kStable; ++k) {
            EXPECT_EQ(g_stable[k]->nextPosted[t], tally.posted[k]) << "posts " << t << "->" << k;
            EXPECT_EQ(g_stable[k]->sentCount[t], tally.sent[k]) << "sends " << t << "->" << k;
            postsDelivered += g_stable[k]->nextPosted[t];
            sendsDelivered += g_stable[k]->sentCount[t];
        }
        EXPECT_EQ(g_ackedTicket[t].load(), tally.acks);
    }
    uint64_t relaysHandled = 0;
    uint64_t relayPosts = 0;
    uint64_t timerEvents = 0;
    for (Stable* stable : g_stable) {
        EXPECT_EQ(stable->postedErrors, 0u);
        EXPECT_EQ(stable->sendOutOfRange, 0u);
        EXPECT_EQ(stable->timerErrors, 0u);
        relaysHandled += stable->relaysHandled;
        timerEvents += stable->timerEvents.load();
    }
    for (size_t k = 0; k < kStable; ++k) {
        const uint64_t relayedHere = g_relayed[k];
        EXPECT_EQ(g_stable[k]->nextPosted[kRelaySender], relayedHere) << "relayed posts -> " << k;
        EXPECT_EQ(g_stable[k]->sentCount[kRelaySender], relayedHere) << "relayed sends -> " << k;
        relayPosts += relayedHere;
    }
    EXPECT_EQ(relaysHandled, sum.relays);
    EXPECT_EQ(sum.timersKilled, sum.timersSet);
    uint64_t creates = 0;
    uint64_t destroys = 0;
    uint64_t transientEvents = 0;
    for (const std::unique_ptr<Transient>& transient : transients) {
        creates += transient->creates.load();
        destroys += transient->destroys;
        transientEvents += transient->loose.load() + transient->timers.load();
    }
    EXPECT_LE(creates, sum.registrations);
    EXPECT_EQ(destroys, sum.unregistrations);
    EXPECT_EQ(sum.registrations, sum.unregistrations);

    uint64_t postsTotal = relayPosts;
    uint64_t sendsTotal = relayPosts;
    for (size_t k = 0; k < kStable; ++k) {
        postsTotal += sum.posted[k];
        sendsTotal += sum.sent[k];
    }
    StressReport("events", StressSeconds(),
                 {{"posts_to_stable", postsTotal},
                  {"posts_delivered", postsDelivered + relayPosts},
                  {"sends_to_stable", sendsTotal},
                  {"sends_delivered", sendsDelivered + relayPosts},
                  {"relays", sum.relays},
                  {"acks", sum.acks},
                  {"posts_to_transients", sum.loosePosts},
                  {"registrations", sum.registrations},
                  {"unregistrations", sum.unregistrations},
                  {"sends_to_registered_transients", sum.transientSends},
                  {"sends_to_unregistered", sum.unregisteredSends},
                  {"timers_set", sum.timersSet},
                  {"timers_killed", sum.timersKilled},
                  {"timer_events_to_stable", timerEvents},
                  {"transient_create_events", creates},
                  {"transient_other_events", transientEvents},
                  {"lost_or_duplicated", (postsTotal - (postsDelivered + relayPosts)) +
                                             (sendsTotal - (sendsDelivered + relayPosts))}});

    for (Stable* stable : g_stable) {
        DestroyEventHandler(stable->GetEvHandle());
    }
}

}  // namespace
