// Tests of events, waits and slim reader/writer locks: the Win32 behaviour on Windows, and
// the layer's copy of it elsewhere.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class Event {
public:
    Event(bool manual, bool initial) : h(CreateEventW(nullptr, manual, initial, nullptr)) {}
    ~Event() { CloseHandle(h); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE h;
};

TEST(SyncEvents, ManualResetStaysSignalledAutoResetIsConsumed) {
    Event manual(true, false);
    Event automatic(false, true);
    ASSERT_NE(manual.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual.h, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(manual.h));
    EXPECT_EQ(WaitForSingleObject(manual.h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual.h, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(manual.h));
    EXPECT_EQ(WaitForSingleObject(manual.h, 0), WAIT_TIMEOUT);

    EXPECT_EQ(WaitForSingleObject(automatic.h, 0), WAIT_OBJECT_0);  // created signalled
    EXPECT_EQ(WaitForSingleObject(automatic.h, 0), WAIT_TIMEOUT);   // consumed
    EXPECT_TRUE(SetEvent(automatic.h));
    EXPECT_TRUE(SetEvent(automatic.h));  // no count: one wait takes it
    EXPECT_EQ(WaitForSingleObject(automatic.h, 10), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic.h, 10), WAIT_TIMEOUT);
}

TEST(SyncEvents, BadHandles) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // The process pseudo-handle never becomes signalled.
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 5), WAIT_TIMEOUT);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    Event closed(true, true);
    const HANDLE stale = closed.h;
    ASSERT_TRUE(CloseHandle(closed.h));
    closed.h = nullptr;
    EXPECT_EQ(WaitForSingleObject(stale, 0), WAIT_FAILED);
}

TEST(SyncEvents, WaitForMultipleAnyGivesTheLowestSignalledIndex) {
    Event a(false, false), b(false, true), c(false, true);
    const HANDLE handles[] = {a.h, b.h, c.h};
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
    // Only b was consumed.
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 10), WAIT_TIMEOUT);
}

TEST(SyncEvents, WaitForMultipleAllTakesAllOrNothing) {
    Event a(false, true), b(false, false);
    const HANDLE handles[] = {a.h, b.h};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 10), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(a.h, 0), WAIT_OBJECT_0);  // a was not consumed by the above
    SetEvent(a.h);
    std::thread setter([&] { SetEvent(b.h); });
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 10000), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(a.h, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b.h, 0), WAIT_TIMEOUT);
}

TEST(SyncEvents, WaitForMultipleRejectsBadArguments) {
    Event a(true, true);
    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, a.h);
    const HANDLE withNull[] = {a.h, nullptr};
    const HANDLE twice[] = {a.h, a.h};
    const struct {
        DWORD count;
        const HANDLE* handles;
        DWORD error;
    } cases[] = {
        {0, many.data(), ERROR_INVALID_PARAMETER},
        {MAXIMUM_WAIT_OBJECTS + 1, many.data(), ERROR_INVALID_PARAMETER},
        {2, withNull, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, FALSE, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // One object given twice is accepted in both modes, as under Wine (Windows documents the
    // array as free of copies).
    EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_OBJECT_0);
}

TEST(SyncEvents, SetEventWakesAWaiterOnAnotherThread) {
    Event go(false, false), done(true, false);
    std::atomic<DWORD> result{0};
    std::thread waiter([&] {
        result = WaitForSingleObject(go.h, INFINITE);
        SetEvent(done.h);
    });
    EXPECT_EQ(WaitForSingleObject(done.h, 20), WAIT_TIMEOUT);  // still waiting
    SetEvent(go.h);
    EXPECT_EQ(WaitForSingleObject(done.h, 10000), WAIT_OBJECT_0);
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(go.h, 0), WAIT_TIMEOUT);  // the waiter consumed it
}

TEST(SrwLock, ExclusiveExcludesEveryoneSharedOnlyWriters) {
    SRWLOCK lock = SRWLOCK_INIT;
    AcquireSRWLockShared(&lock);
    EXPECT_TRUE(TryAcquireSRWLockShared(&lock));
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));
    ReleaseSRWLockShared(&lock);
    ReleaseSRWLockShared(&lock);
    EXPECT_TRUE(TryAcquireSRWLockExclusive(&lock));
    EXPECT_FALSE(TryAcquireSRWLockShared(&lock));
    EXPECT_FALSE(TryAcquireSRWLockExclusive(&lock));
    ReleaseSRWLockExclusive(&lock);
    InitializeSRWLock(&lock);
    AcquireSRWLockExclusive(&lock);
    ReleaseSRWLockExclusive(&lock);
}

// Writers keep two counters equal; readers must never see them differ.
TEST(SrwLock, ReadersNeverSeeAHalfDoneWrite) {
    SRWLOCK lock;
    InitializeSRWLock(&lock);
    uint64_t a = 0, b = 0;
    std::atomic<bool> torn{false};
    std::atomic<int> writersLeft{2};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                AcquireSRWLockExclusive(&lock);
                ++a;
                ++b;
                ReleaseSRWLockExclusive(&lock);
            }
            --writersLeft;
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (writersLeft > 0) {
                AcquireSRWLockShared(&lock);
                if (a != b) {
                    torn = true;
                }
                ReleaseSRWLockShared(&lock);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_FALSE(torn);
    EXPECT_EQ(a, 40000u);
}

// A waiting writer gets the lock although readers keep coming.
TEST(SrwLock, WaitingWriterIsNotStarvedByReaders) {
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<bool> written{false};
    std::atomic<int> readersIn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!written) {
                AcquireSRWLockShared(&lock);
                ++readersIn;
                std::this_thread::yield();
                ReleaseSRWLockShared(&lock);
            }
        });
    }
    while (readersIn < 100) {
        std::this_thread::yield();
    }
    AcquireSRWLockExclusive(&lock);
    written = true;
    ReleaseSRWLockExclusive(&lock);
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_TRUE(written);
}

}  // namespace
