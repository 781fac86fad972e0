// The exported entries under several threads at once: each thread allocates and releases
// blocks of random sizes, stamps every block with its own pattern and checks it before the
// release, so a block handed out twice or overlapping another shows up as a changed byte.
#include "kvx/foundation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

struct Block {
    uint8_t* bytes;
    size_t size;
    uint8_t stamp;
};

bool Stamped(const Block& block) {
    for (size_t i = 0; i < block.size; ++i) {
        if (block.bytes[i] != block.stamp) {
            return false;
        }
    }
    return true;
}

// Returns the number of faults seen: fill or guard wrong at allocation, stamp changed at release.
size_t Churn(unsigned thread, size_t steps, std::atomic<bool>& go) {
    std::mt19937 rng(thread * 7919u + 1);
    std::vector<Block> live;
    size_t faults = 0;
    while (!go.load(std::memory_order_acquire)) {
        std::this_thread::yield();
    }
    for (size_t step = 0; step < steps; ++step) {
        if (live.size() < 200 && (live.empty() || rng() % 2 == 0)) {
            const size_t size = rng() % 8 == 0 ? 1 + rng() % 20000 : 1 + rng() % 300;
            auto* bytes = static_cast<uint8_t*>(_st_malloc(size));
            if (bytes == nullptr) {
                ++faults;
                continue;
            }
            uint32_t guard;
            std::memcpy(&guard, bytes + size, sizeof(guard));
            if (bytes[0] != 0xAF || bytes[size - 1] != 0xAF || guard != 0xEEEEEEEEu) {
                ++faults;
            }
            const auto stamp = static_cast<uint8_t>(thread * 31 + step);
            std::memset(bytes, stamp, size);
            live.push_back(Block{bytes, size, stamp});
        } else {
            const size_t i = rng() % live.size();
            if (!Stamped(live[i])) {
                ++faults;
            }
            _st_free(live[i].bytes);
            live[i] = live.back();
            live.pop_back();
        }
    }
    for (const Block& block : live) {
        faults += Stamped(block) ? 0 : 1;
        _st_free(block.bytes);
    }
    return faults;
}

TEST(StMallocThreads, ConcurrentBlocksNeverOverlap) {
    constexpr unsigned kThreads = 4;
    std::atomic<bool> go{false};
    std::vector<size_t> faults(kThreads, 0);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &go, &faults] { faults[t] = Churn(t, 20000, go); });
    }
    go.store(true, std::memory_order_release);
    for (auto& thread : threads) {
        thread.join();
    }
    for (unsigned t = 0; t < kThreads; ++t) {
        EXPECT_EQ(faults[t], 0u) << "thread " << t;
    }
}

TEST(StMalloc, ExportedEntriesFollowTheRules) {
    auto* p = static_cast<uint8_t*>(_st_malloc(3));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 4u);
    EXPECT_EQ(p[0], 0xAF);
    EXPECT_EQ(p[2], 0xAF);
    uint32_t guard;
    std::memcpy(&guard, p + 3, sizeof(guard));
    EXPECT_EQ(guard, 0xEEEEEEEEu);
    EXPECT_EQ(_st_malloc(0), nullptr);
    EXPECT_EQ(_st_malloc(65457), nullptr);
    int elsewhere = 0;
    _st_free(nullptr);
    _st_free(&elsewhere);
    _st_free(p);
}

}  // namespace
