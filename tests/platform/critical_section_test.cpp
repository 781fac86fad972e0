// Tests of critical sections (real on Windows, the layer's elsewhere): mutual exclusion under
// contention, recursive entry, and re-initialisation after deletion.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

// Three threads count in a plain integer: a section that let two of them in at once loses
// increments, and ThreadSanitizer reports the race. On this layer a section that one thread
// has used alone is entered by it without atomic operations until a second thread arrives, so
// the others come in while the first is inside, leaving or entering again (once or twice
// nested), at a different moment in every round, with and without spinning (the high bits of
// a spin count are flags on Windows).
TEST(CriticalSection, StaysExclusiveWhenOtherThreadsArriveAtAnyMoment) {
    constexpr int kEntries = 1000;
    constexpr DWORD kSpinCounts[] = {0, 1024, 0x80000400u};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        CRITICAL_SECTION section;
        ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, kSpinCounts[round / 3 % 3]));
        long counter = 0;
        auto work = [&](int depth) {
            for (int i = 0; i < kEntries; ++i) {
                for (int d = 0; d < depth; ++d) {
                    EnterCriticalSection(&section);
                }
                // Read and write apart, so that another thread let in meanwhile shows.
                const long seen = counter;
                for (std::atomic<int> pause = 0; pause.load() < 20; ++pause) {
                }
                counter = seen + 1;
                for (int d = 0; d < depth; ++d) {
                    LeaveCriticalSection(&section);
                }
            }
        };
        std::atomic<bool> first{false};
        std::thread owner([&] {
            EnterCriticalSection(&section);
            first = true;
            LeaveCriticalSection(&section);
            work(1 + round % 3);
        });
        while (!first.load()) {
            std::this_thread::yield();
        }
        for (std::atomic<int> delay = 0; delay.load() < round * 50; ++delay) {
        }
        std::thread second([&] { work(1); });
        std::thread third([&] { work(2); });
        owner.join();
        second.join();
        third.join();
        EXPECT_EQ(counter, 3 * kEntries);
        DeleteCriticalSection(&section);
    }
}

TEST(CriticalSection, OwnerMayEnterAgainAndReleasesOnItsLastLeave) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterCriticalSection(&section);
        entered = true;
        LeaveCriticalSection(&section);
    });
    // Still held once: the other thread cannot have got in. The last Leave lets it in.
    EXPECT_FALSE(entered.load());
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(entered.load());
    DeleteCriticalSection(&section);
    // A deleted section may be prepared again.
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 10));
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

TEST(AlignedMalloc, HonoursEveryPowerOfTwoAlignment) {
    for (size_t alignment = 1; alignment <= 65536; alignment *= 2) {
        SCOPED_TRACE(alignment);
        void* blocks[3];
        for (void*& block : blocks) {
            block = _aligned_malloc(65536, alignment);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u);
            static_cast<unsigned char*>(block)[65535] = 1;
        }
        for (void* block : blocks) {
            _aligned_free(block);
        }
    }
    _aligned_free(nullptr);
}

#if !defined(_WIN32)
// Windows sends these to the invalid-parameter handler (by default the process ends); the layer
// gives the documented results instead.
TEST(AlignedMalloc, RejectsAlignmentsThatAreNoPowerOfTwo) {
    for (size_t alignment : {size_t{0}, size_t{3}, size_t{24}, size_t{65535}}) {
        SCOPED_TRACE(alignment);
        errno = 0;
        EXPECT_EQ(_aligned_malloc(16, alignment), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
    void* empty = _aligned_malloc(0, 8);
    ASSERT_NE(empty, nullptr);
    _aligned_free(empty);
}
#endif

}  // namespace
