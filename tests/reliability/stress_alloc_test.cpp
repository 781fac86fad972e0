// stress_alloc_test.cpp: eight threads allocate and release blocks of random sizes from the
// small-block allocator for the stress duration. Each block is checked to come filled with
// 0xAF, then filled with a pattern of its own and checked again before release, so a block
// handed out twice, overlapping another or changed by someone else shows up as a mismatch.
// A quarter of the releases go through another thread, which checks the block first.
#include "stress_support.h"

#include "kvx/foundation.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <array>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr size_t kLiveEach = 48;  // blocks a thread holds at most
constexpr size_t kLargest = 65456;
constexpr size_t kExchangeSlots = 64;

struct Block {
    unsigned char* bytes;
    size_t size;
    uint64_t serial;  // unique per block: the pattern's seed
};

// The pattern byte at `offset` of the block with this serial.
unsigned char PatternByte(uint64_t serial, size_t offset) {
    uint64_t x = (serial + 1) * 0x9E3779B97F4A7C15ULL + offset;
    x ^= x >> 29;
    return static_cast<unsigned char>(x * 0xBF58476D1CE4E5B9ULL >> 56);
}

// Sizes spread over the whole range: mostly small, as a host's are, some mid-sized, a few up
// to the largest a pool holds.
size_t RandomSize(StressRandom& random) {
    const uint64_t kind = random.Below(100);
    if (kind < 70) {
        return 1 + random.Below(256);
    }
    if (kind < 95) {
        return 1 + random.Below(4096);
    }
    return 1 + random.Below(kLargest);
}

struct Tally {
    uint64_t allocations = 0;
    uint64_t bytes = 0;
    uint64_t releases = 0;
    uint64_t handedOver = 0;  // released by another thread
    uint64_t blocksChecked = 0;
    uint64_t nulls = 0;
    uint64_t badFill = 0;     // a new block not filled with 0xAF
    uint64_t badPattern = 0;  // a block whose pattern changed while it was held
    uint64_t misaligned = 0;  // not 4 bytes past a multiple of 8

    Tally& operator+=(const Tally& other) {
        allocations += other.allocations;
        bytes += other.bytes;
        releases += other.releases;
        handedOver += other.handedOver;
        blocksChecked += other.blocksChecked;
        nulls += other.nulls;
        badFill += other.badFill;
        badPattern += other.badPattern;
        misaligned += other.misaligned;
        return *this;
    }
};

// Blocks on their way from one thread to another.
class Exchange {
public:
    // Stores the block if a slot is free; false otherwise.
    bool Give(const Block& block) {
        std::lock_guard<std::mutex> guard(_lock);
        if (_count == kExchangeSlots) {
            return false;
        }
        _slots[_count++] = block;
        return true;
    }
    bool Take(Block* block) {
        std::lock_guard<std::mutex> guard(_lock);
        if (_count == 0) {
            return false;
        }
        *block = _slots[--_count];
        return true;
    }

private:
    std::mutex _lock;
    std::array<Block, kExchangeSlots> _slots{};
    size_t _count = 0;
};

bool PatternIntact(const Block& block) {
    for (size_t i = 0; i < block.size; ++i) {
        if (block.bytes[i] != PatternByte(block.serial, i)) {
            return false;
        }
    }
    return true;
}

void CheckAndRelease(const Block& block, Tally& tally) {
    ++tally.blocksChecked;
    tally.badPattern += PatternIntact(block) ? 0 : 1;
    _st_free(block.bytes);
    ++tally.releases;
}

void Worker(int self, const StressClock& clock, Exchange& exchange, Tally& tally) {
    StressRandom random(static_cast<uint64_t>(self) + 101);
    std::vector<Block> live;
    uint64_t serial = static_cast<uint64_t>(self) << 48;
    while (clock.Running()) {
        const uint64_t roll = random.Below(100);
        if (roll < 50 && live.size() < kLiveEach) {
            const size_t size = RandomSize(random);
            auto* const bytes = static_cast<unsigned char*>(_st_malloc(size));
            if (bytes == nullptr) {
                ++tally.nulls;
                continue;
            }
            ++tally.allocations;
            tally.bytes += size;
            tally.misaligned += reinterpret_cast<uintptr_t>(bytes) % 8 == 4 ? 0 : 1;
            for (size_t i = 0; i < size; ++i) {
                if (bytes[i] != 0xAF) {
                    ++tally.badFill;
                    break;
                }
            }
            const Block block{bytes, size, serial++};
            for (size_t i = 0; i < size; ++i) {
                bytes[i] = PatternByte(block.serial, i);
            }
            live.push_back(block);
        } else if (roll < 85 && !live.empty()) {
            const size_t index = static_cast<size_t>(random.Below(live.size()));
            const Block block = live[index];
            live[index] = live.back();
            live.pop_back();
            if (random.Below(4) == 0 && exchange.Give(block)) {
                continue;  // another thread checks and releases it
            }
            CheckAndRelease(block, tally);
        } else if (roll < 92) {
            Block block;
            if (exchange.Take(&block)) {
                CheckAndRelease(block, tally);
                ++tally.handedOver;
            }
        } else if (!live.empty()) {
            // A block held for a while must still carry its pattern.
            ++tally.blocksChecked;
            tally.badPattern += PatternIntact(live[random.Below(live.size())]) ? 0 : 1;
        }
    }
    for (const Block& block : live) {
        CheckAndRelease(block, tally);
    }
}

TEST(Stress, AllocatorBlocksNeverOverlapOrChangeUnderEightThreads) {
    StressWatchdog watchdog("allocator");
    Exchange exchange;
    std::array<Tally, kThreads> tallies;
    watchdog.Phase("load");
    {
        const StressClock clock;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(Worker, t, std::cref(clock), std::ref(exchange),
                                 std::ref(tallies[static_cast<size_t>(t)]));
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    watchdog.Phase("checking");
    Tally sum = SumOf(tallies);
    Block block;
    while (exchange.Take(&block)) {
        CheckAndRelease(block, sum);
        ++sum.handedOver;
    }
    EXPECT_EQ(sum.nulls, 0u);
    EXPECT_EQ(sum.badFill, 0u);
    EXPECT_EQ(sum.badPattern, 0u);
    EXPECT_EQ(sum.misaligned, 0u);
    EXPECT_EQ(sum.releases, sum.allocations);
    StressReport("allocator", StressSeconds(),
                 {{"allocations", sum.allocations},
                  {"bytes_allocated", sum.bytes},
                  {"releases", sum.releases},
                  {"released_by_another_thread", sum.handedOver},
                  {"blocks_checked", sum.blocksChecked},
                  {"null_results", sum.nulls},
                  {"corrupted_blocks", sum.badFill + sum.badPattern}});
}

}  // namespace
