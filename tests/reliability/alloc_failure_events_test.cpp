// alloc_failure_events_test.cpp: the event system and the small-block allocator when any one of
// their heap allocations fails: the documented result (std::bad_alloc, or null for a refused
// arena), no block left behind, nothing half made, every lock free again, all still usable.
//
// The dispatcher thread's own allocations are not counted (only the calling thread is armed).
// To make the queue and the lists grow inside the armed call, the dispatcher is held in a
// handler function while the queue is filled to its first ring size.
#include "alloc_injection.h"

#include "events/event_system.h"
#include "foundation/st_allocator.h"
#include "kvx/events.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kPing = 1000;
constexpr uint32_t kHold = 1001;
// The queue's first ring: a post onto this many queued events makes it grow.
constexpr size_t kFirstRing = 64;
constexpr auto kPatience = std::chrono::seconds(20);

// Polls `ready` until it holds or kPatience has passed.
template <class Ready> bool Eventually(Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Whether a call on another thread gets through (a lock left held would keep it waiting).
template <class Call> bool CompletesOnAnotherThread(Call call) {
    auto done = std::async(std::launch::async, call);
    return done.wait_for(kPatience) == std::future_status::ready;
}

// Records what reaches it: EV_CREATE, kPing's first argument, EV_TIMER's timer id.
class Recorder : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnCreate(uint64_t, uint64_t) {
        std::lock_guard<std::mutex> guard(_lock);
        ++_creates;
    }
    void OnPing(uint64_t value, uint64_t) {
        std::lock_guard<std::mutex> guard(_lock);
        _pings.push_back(value);
    }
    void OnTimer(uint64_t timerId, uint64_t) {
        std::lock_guard<std::mutex> guard(_lock);
        _timers.push_back(timerId);
    }
    int Creates() {
        std::lock_guard<std::mutex> guard(_lock);
        return _creates;
    }
    std::vector<uint64_t> Pings() {
        std::lock_guard<std::mutex> guard(_lock);
        return _pings;
    }
    std::vector<uint64_t> Timers() {
        std::lock_guard<std::mutex> guard(_lock);
        return _timers;
    }
    bool HasPing(uint64_t value) {
        const std::vector<uint64_t> pings = Pings();
        return std::find(pings.begin(), pings.end(), value) != pings.end();
    }
    bool HasTimer(uint64_t timerId) {
        const std::vector<uint64_t> timers = Timers();
        return std::find(timers.begin(), timers.end(), timerId) != timers.end();
    }
    void* Handle() { return static_cast<CEventHandler*>(this); }

private:
    std::mutex _lock;
    int _creates = 0;
    std::vector<uint64_t> _pings;
    std::vector<uint64_t> _timers;
};

KVX_BEGIN_EVENT_MAP(Recorder)
KVX_ON_EVENT(EV_CREATE, OnCreate)
KVX_ON_EVENT(kPing, OnPing)
KVX_ON_EVENT(EV_TIMER, OnTimer)
KVX_END_EVENT_MAP()

// Holds the dispatcher in its kHold function until Release.
class Gate : public CEventHandler {
public:
    KVX_DECLARE_EVENT_MAP();
    void OnHold(uint64_t, uint64_t) {
        _entered.store(true);
        Eventually([this] { return _released.load(); });
    }
    bool Entered() const { return _entered.load(); }
    void Release() { _released.store(true); }

private:
    std::atomic<bool> _entered{false};
    std::atomic<bool> _released{false};
};

KVX_BEGIN_EVENT_MAP(Gate)
KVX_ON_EVENT(kHold, OnHold)
KVX_END_EVENT_MAP()

// A fresh event system with a registered recorder, destroyed at the end of the attempt.
class RunningSystem {
public:
    RunningSystem() {
        CreateEventSystem();
        _gateHandle = CreateEventHandler(&_gate);
        EXPECT_NE(CreateEventHandler(&recorder), nullptr);
        EXPECT_TRUE(Eventually([this] { return recorder.Creates() == 1; }));
    }
    ~RunningSystem() {
        _gate.Release();
        DestroyEventSystem();
    }
    RunningSystem(const RunningSystem&) = delete;
    RunningSystem& operator=(const RunningSystem&) = delete;

    // Holds the dispatcher and queues pings 0, 1, ... to the recorder until the next post
    // makes the queue grow.
    void HoldAndFill() {
        PostEvent(_gateHandle, kHold, 0, 0);
        EXPECT_TRUE(Eventually([this] { return _gate.Entered(); }));
        while (QueueLength() < kFirstRing) {
            PostEvent(recorder.Handle(), kPing, nextPing++, 0);
        }
    }
    void Release() { _gate.Release(); }
    static size_t QueueLength() { return CEventSystem::Instance()->GetQueueLength(); }

    // Posts one more ping and waits until the dispatcher has delivered everything before it.
    bool Drain() {
        const uint64_t last = nextPing++;
        PostEvent(recorder.Handle(), kPing, last, 0);
        return Eventually([&] { return recorder.HasPing(last); });
    }
    // Every ping posted so far arrived once, in order.
    void ExpectPingsInOrder() {
        std::vector<uint64_t> expected;
        for (uint64_t i = 0; i < nextPing; ++i) {
            expected.push_back(i);
        }
        EXPECT_EQ(recorder.Pings(), expected);
    }

    Recorder recorder;
    uint64_t nextPing = 0;

private:
    Gate _gate;
    void* _gateHandle = nullptr;
};

// Whether every block is back. Two holders let go late, by design: the dispatcher thread drops
// its reference to its thread object only after it has signalled its end, and off Windows each
// thread keeps the object of the last handle it waited on (here the dispatcher's thread
// handle) until its next wait. A wait on a fresh event moves that on.
bool NoBlockLeft() {
    HANDLE fresh = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    WaitForSingleObject(fresh, 0);
    CloseHandle(fresh);
    return Eventually([] { return kvx_alloc::LiveBlocks() == 0; });
}

class EventsAllocFailure : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // First-use set-up outside the sweeps: the handle table grown past what an attempt
        // needs, the thread bookkeeping made once.
        std::vector<HANDLE> events;
        for (int i = 0; i < 64; ++i) {
            events.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
        for (HANDLE event : events) {
            CloseHandle(event);
        }
        RunningSystem warm;
        warm.HoldAndFill();
        warm.Release();
        warm.Drain();
    }
};

TEST_F(EventsAllocFailure, CreateEventSystemThrowsBadAllocAndLeavesNoSystem) {
    const uint64_t points = kvx_alloc::Sweep("CreateEventSystem", [](uint64_t failAt) -> bool {
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] { CreateEventSystem(); });
        EXPECT_EQ(injected, threw) << failAt;
        EXPECT_EQ(CEventSystem::Instance() == nullptr, threw) << failAt;
        // Usable: a later call makes (or keeps) the system, and it delivers.
        CreateEventSystem();
        {
            Recorder recorder;
            EXPECT_NE(CreateEventHandler(&recorder), nullptr) << failAt;
            PostEvent(recorder.Handle(), kPing, failAt, 0);
            EXPECT_TRUE(Eventually([&] { return recorder.HasPing(failAt); })) << failAt;
            DestroyEventSystem();
        }
        EXPECT_TRUE(NoBlockLeft()) << failAt;
        return injected;
    });
    EXPECT_GE(points, 1u);
}

TEST_F(EventsAllocFailure, CreateEventHandlerThrowsBadAllocAndRegistersNothing) {
    const uint64_t points =
        kvx_alloc::Sweep("CreateEventHandler (list and queue grow)", [](uint64_t failAt) -> bool {
            RunningSystem system;
            system.HoldAndFill();
            Recorder tried;
            void* handle = nullptr;
            const auto [injected, threw] =
                kvx_alloc::RunArmed(failAt, [&] { handle = CreateEventHandler(&tried); });
            EXPECT_EQ(injected, threw) << failAt;
            EXPECT_EQ(handle == nullptr, threw) << failAt;
            // The handler lock is free and the handler registered exactly when the call
            // returned: a send from another thread gets through, and reaches it only then.
            void* const key = tried.Handle();
            EXPECT_TRUE(CompletesOnAnotherThread([key] { SendEvent(key, kPing, 7, 0); }));
            EXPECT_EQ(tried.HasPing(7), !threw) << failAt;
            system.Release();
            EXPECT_TRUE(system.Drain()) << failAt;
            system.ExpectPingsInOrder();
            EXPECT_EQ(tried.Creates(), threw ? 0 : 1) << failAt;
            // Usable: a new registration gets its EV_CREATE and a post.
            Recorder later;
            EXPECT_NE(CreateEventHandler(&later), nullptr);
            PostEvent(later.Handle(), kPing, 9, 0);
            EXPECT_TRUE(Eventually([&] { return later.HasPing(9) && later.Creates() == 1; }));
            return injected;
        });
    EXPECT_GE(points, 2u);
}

TEST_F(EventsAllocFailure, PostEventThrowsBadAllocAndKeepsTheQueue) {
    const uint64_t points =
        kvx_alloc::Sweep("PostEvent (the queue grows)", [](uint64_t failAt) -> bool {
            RunningSystem system;
            system.HoldAndFill();
            void* const key = system.recorder.Handle();
            const uint64_t value = system.nextPing;
            const auto [injected, threw] =
                kvx_alloc::RunArmed(failAt, [&] { PostEvent(key, kPing, value, 0); });
            EXPECT_EQ(injected, threw) << failAt;
            if (!threw) {
                ++system.nextPing;
            }
            EXPECT_EQ(RunningSystem::QueueLength(), system.nextPing) << failAt;
            // The queue lock is free: a post from another thread gets through.
            const uint64_t next = system.nextPing++;
            EXPECT_TRUE(CompletesOnAnotherThread([key, next] { PostEvent(key, kPing, next, 0); }));
            system.Release();
            EXPECT_TRUE(system.Drain()) << failAt;
            system.ExpectPingsInOrder();
            return injected;
        });
    EXPECT_GE(points, 1u);
}

TEST_F(EventsAllocFailure, SetTimerThrowsBadAllocAndMakesNoTimer) {
    constexpr uint32_t kHour = 3600000;
    const uint64_t points =
        kvx_alloc::Sweep("SetTimer (timer list and queue grow)", [](uint64_t failAt) -> bool {
            RunningSystem system;
            system.HoldAndFill();
            Recorder& recorder = system.recorder;
            uint64_t id = 0;
            const auto [injected, threw] =
                kvx_alloc::RunArmed(failAt, [&] { id = recorder.SetTimer(kHour); });
            EXPECT_EQ(injected, threw) << failAt;
            EXPECT_EQ(id, threw ? 0u : 1u) << failAt;
            // The timer lock is free, and the list holds the timer exactly when it was made.
            std::vector<TIMER_INFO> timers;
            EXPECT_TRUE(CompletesOnAnotherThread(
                [&timers] { timers = CEventSystem::Instance()->GetTimers(); }));
            EXPECT_EQ(timers.size(), threw ? 0u : 1u) << failAt;
            system.Release();
            EXPECT_TRUE(system.Drain()) << failAt;
            system.ExpectPingsInOrder();
            EXPECT_EQ(recorder.HasTimer(1), !threw) << failAt;
            // Usable: the next timer gets the next id and its first event.
            const uint64_t next = recorder.SetTimer(kHour);
            EXPECT_EQ(next, threw ? 1u : 2u) << failAt;
            EXPECT_TRUE(Eventually([&] { return recorder.HasTimer(next); })) << failAt;
            return injected;
        });
    EXPECT_GE(points, 2u);
}

// The timer pass runs on the dispatcher thread, where an exception would end the process: run
// on a system whose dispatcher is not started, so that this thread's allocations are failed.
TEST(EventsAllocFailureTimerPass, QueueFullOfMemoryEndsThePassQuietly) {
    Recorder recorder;
    kvx_alloc::Sweep("timer pass (the queue grows)", [&](uint64_t failAt) -> bool {
        CEventSystem system;
        const uint64_t id = system.SetTimer(recorder.Handle(), 0);
        while (system.GetQueueLength() < kFirstRing) {
            system.Post(recorder.Handle(), kPing, 0, 0);
        }
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { system.FireDueTimers(CEventSystem::NowMs()); });
        EXPECT_FALSE(threw) << failAt;
        EXPECT_EQ(system.GetQueueLength(), injected ? kFirstRing : kFirstRing + 1) << failAt;
        // The timer stays due: the next pass posts what this one could not.
        system.FireDueTimers(CEventSystem::NowMs());
        EXPECT_EQ(system.GetQueueLength(), injected ? kFirstRing + 1 : kFirstRing + 2) << failAt;
        EVENT_RECORD last{};
        while (system.TakeFrontEvent(&last)) {
        }
        EXPECT_EQ(last.id, EV_TIMER);
        EXPECT_EQ(last.param1, id);
        return injected;
    });
}

// The allocator's path to a new pool, as _st_malloc takes it: an allocator with the platform
// arena source. (The process's own allocator keeps its arenas until unload, so the block
// tracker could not tell a kept arena from a leaked one.)
TEST(AllocatorAllocFailure, NewPoolFailsWithNothingChanged) {
    int arenaRefusals = 0;
    kvx_alloc::Sweep("StAllocator::Allocate, a new pool", [&](uint64_t failAt) -> bool {
        StAllocator allocator;
        auto* first = static_cast<uint8_t*>(allocator.Allocate(100));
        EXPECT_NE(first, nullptr);
        std::fill(first, first + 100, uint8_t{0x5A});
        void* big = nullptr;
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { big = allocator.Allocate(kStMaxRequest); });
        EXPECT_EQ(injected, big == nullptr) << failAt;
        if (injected && !threw) {
            ++arenaRefusals;
        }
        EXPECT_EQ(allocator.PoolCount(), injected ? 1u : 2u) << failAt;
        // The lock is free, the older block intact, and the request can be served now.
        EXPECT_TRUE(CompletesOnAnotherThread([&allocator] {
            void* block = allocator.Allocate(64);
            allocator.Release(block);
        }));
        EXPECT_TRUE(std::all_of(first, first + 100, [](uint8_t b) { return b == 0x5A; }));
        if (big == nullptr) {
            big = allocator.Allocate(kStMaxRequest);
        }
        EXPECT_NE(big, nullptr) << failAt;
        allocator.Release(big);
        allocator.Release(first);
        return injected;
    });
    EXPECT_EQ(arenaRefusals, 1) << "the refused arena must give null, not an exception";
}

}  // namespace
