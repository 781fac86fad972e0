// Tests of _beginthreadex and _endthreadex: handles that signal the end, exit codes, thread
// ids. On Windows they pin the runtime's behaviour; elsewhere they test the layer.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

struct Start {
    HANDLE go;
    std::atomic<DWORD> id{0};
    bool unwound = false;
};

unsigned ReturnsSeven(void* raw) {
    auto* start = static_cast<Start*>(raw);
    start->id = GetCurrentThreadId();
    WaitForSingleObject(start->go, INFINITE);
    return 7;
}

struct Unwound {
    bool* flag;
    ~Unwound() { *flag = true; }
};

unsigned EndsEarly(void* raw) {
    auto* start = static_cast<Start*>(raw);
    Unwound guard{&start->unwound};
    _endthreadex(9);
    return 1;  // not reached
}

TEST(Threads, HandleSignalsTheEndAndKeepsTheExitCode) {
    Start start;
    start.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    unsigned id = 0;
    const HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ReturnsSeven, &start, 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);  // running
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    SetEvent(start.go);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(start.id.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
    CloseHandle(thread);
    CloseHandle(start.go);
}

TEST(Threads, EndThreadExUnwindsAndSetsTheExitCode) {
    Start start;
    const HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, EndsEarly, &start, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 9u);
    CloseHandle(thread);
}

TEST(Threads, ClosingTheHandleLeavesTheThreadRunning) {
    Start start;
    start.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Both {
        Start* start;
        HANDLE done;
    } both{&start, done};
    const HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0,
        [](void* raw) -> unsigned {
            auto* b = static_cast<Both*>(raw);
            WaitForSingleObject(b->start->go, INFINITE);
            SetEvent(b->done);
            return 0;
        },
        &both, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(start.go);
    EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
    CloseHandle(done);
    CloseHandle(start.go);
}

}  // namespace
