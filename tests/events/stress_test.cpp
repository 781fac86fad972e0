// Several threads posting, sending, registering, unregistering and setting timers at once:
// nothing lost, each thread's posts in order, no crash (and clean under ThreadSanitizer).
#include "events/event_system.h"
#include "probe.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>

namespace {

constexpr int kPosters = 3;
constexpr uint64_t kPostsEach = 20000;
constexpr uint32_t kPosted = 10;
constexpr uint32_t kSent = 11;
constexpr uint32_t kMarker = 12;

// Posted events run on the dispatcher only, so `received` needs no lock; the test reads it
// after the marker's gate has opened.
struct Target {
    std::vector<uint64_t> received[kPosters];
    bool outOfRange = false;
    std::atomic<uint64_t> sent{0};
    Gate marker;

    static void OnPosted(void* self, uint64_t thread, uint64_t sequence) {
        auto* target = static_cast<Target*>(self);
        if (thread >= kPosters) {
            target->outOfRange = true;
            return;
        }
        target->received[thread].push_back(sequence);
    }
    static void OnSent(void* self, uint64_t, uint64_t) { ++static_cast<Target*>(self)->sent; }
    static void OnMarker(void* self, uint64_t, uint64_t) {
        static_cast<Target*>(self)->marker.Open();
    }
};

TEST(EventStress, ConcurrentUseLosesNothingAndKeepsPerThreadOrder) {
    Target target;
    const EVENT_MAP_ENTRY map[] = {{kPosted, Target::OnPosted, 0},
                                   {kSent, Target::OnSent, 0},
                                   {kMarker, Target::OnMarker, 0},
                                   {0, nullptr, 0}};
    RecordHandler handler(&target, map);
    // Handlers that come and go stay alive to the end: a call that the dispatcher began before
    // their DestroyEventHandler may still run (it does not wait for calls in progress). All
    // handlers are declared before the event system, which is destroyed first.
    std::deque<Probe> passing;
    EventSystemScope scope;
    void* const handle = CreateEventHandler(&handler);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sent{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kPosters; ++t) {
        threads.emplace_back([&, t] {
            for (uint64_t i = 0; i < kPostsEach; ++i) {
                PostEvent(handle, kPosted, static_cast<uint64_t>(t), i);
            }
        });
    }
    threads.emplace_back([&] {  // sends to the same handler from another thread
        while (!stop) {
            SendEvent(handle, kSent, 0, 0);
            ++sent;
        }
    });
    threads.emplace_back([&] {  // handlers coming and going, with timers
        // Most of their events are dropped at dispatch (they are gone by then), and each
        // dropped event costs the dispatcher a 1 ms wait: keep their number modest.
        for (int i = 0; i < 200 && !stop; ++i) {
            Probe& probe = passing.emplace_back();
            void* const h = CreateEventHandler(&probe);
            const uint64_t timer = probe.SetTimer(0);
            PostEvent(h, kUser, 0, 0);
            SendEvent(h, kUser, 1, 0);
            probe.KillTimer(timer);
            DestroyEventHandler(h);
        }
    });
    for (int t = 0; t < kPosters; ++t) {
        threads[static_cast<size_t>(t)].join();
    }
    // Posted after all the posts: once it arrives, every post has been delivered.
    PostEvent(handle, kMarker, 0, 0);
    ASSERT_TRUE(target.marker.Wait(60000));
    stop = true;
    for (size_t t = kPosters; t < threads.size(); ++t) {
        threads[t].join();
    }
    EXPECT_FALSE(target.outOfRange);
    for (int t = 0; t < kPosters; ++t) {
        SCOPED_TRACE(t);
        const std::vector<uint64_t>& got = target.received[t];
        ASSERT_EQ(got.size(), kPostsEach);
        for (uint64_t i = 0; i < kPostsEach; ++i) {
            ASSERT_EQ(got[i], i);
        }
    }
    EXPECT_EQ(target.sent.load(), sent.load());
    DestroyEventHandler(handle);
    for (Probe& probe : passing) {
        EXPECT_EQ(probe.Calls(EV_DESTROY).size(), 1u);
        const std::vector<Call> users = probe.Calls(kUser);  // the sent one, at least
        EXPECT_TRUE(std::any_of(users.begin(), users.end(),
                                [](const Call& call) { return call.param1 == 1; }));
    }
}

}  // namespace
