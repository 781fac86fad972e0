// Tests of the event queue's ring and of the spin mutex that guards it.
#include "events/event_queue.h"
#include "events/spin_mutex.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

EVENT_RECORD Record(uint64_t n) {
    return EVENT_RECORD{nullptr, n, n + 1, n + 2};
}

// Pushes and pops in uneven steps, so the ring wraps and grows while wrapped; every record
// comes out once, in order.
TEST(EventQueue, StaysFirstInFirstOutThroughWrapsAndGrowth) {
    KvxEventQueue queue;
    uint64_t pushed = 0, popped = 0;
    EVENT_RECORD out{};
    const int steps[][2] = {{50, 30}, {100, 90}, {5, 0}, {300, 200}, {1000, 1135}};
    for (const auto& step : steps) {
        for (int i = 0; i < step[0]; ++i) {
            queue.PushBack(Record(pushed++));
        }
        for (int i = 0; i < step[1]; ++i) {
            ASSERT_TRUE(queue.PopFront(&out));
            ASSERT_EQ(out.id, popped);
            ASSERT_EQ(out.param2, popped + 2);
            ++popped;
        }
        ASSERT_EQ(queue.Size(), pushed - popped);
    }
    EXPECT_FALSE(queue.PopFront(&out));
    queue.PushBack(Record(7));  // usable after running empty
    ASSERT_TRUE(queue.PopFront(&out));
    EXPECT_EQ(out.id, 7u);
}

TEST(EventQueue, RingBeyondTheKeptSizeIsReleasedWhenEmpty) {
    KvxEventQueue queue;
    const size_t n = KvxEventQueue::kKeptRecords + 1;
    for (size_t i = 0; i < n; ++i) {
        queue.PushBack(Record(i));
    }
    EVENT_RECORD out{};
    for (size_t i = 0; i < n; ++i) {
        ASSERT_TRUE(queue.PopFront(&out));
    }
    EXPECT_EQ(out.id, n - 1);
    queue.PushBack(Record(1));  // a fresh ring
    EXPECT_EQ(queue.Size(), 1u);
}

TEST(SpinMutex, ExcludesUnderContention) {
    KvxSpinMutex lock;
    uint64_t counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50000; ++i) {
                std::lock_guard<KvxSpinMutex> guard(lock);
                ++counter;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(counter, 200000u);
    EXPECT_TRUE(lock.try_lock());
    EXPECT_FALSE(lock.try_lock());
    lock.unlock();
}

}  // namespace
