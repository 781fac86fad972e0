// Tests of window messaging: PostMessageW, SendMessageW and the message-window API, the same
// on the platform layer and on Windows.
#include "platform/win32.h"

#include "kvx/message_window.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr UINT kPing = WM_USER + 1;

class MessageWindow : public ::testing::Test {
protected:
    void SetUp() override { KvxTestWindow::ClearJournal(); }
};

TEST_F(MessageWindow, PostedMessagesArriveInOrderWithTheirParameters) {
    KvxTestWindow window;
    ASSERT_NE(window.handle(), nullptr);
    EXPECT_TRUE(PostMessageW(window.handle(), kPing, 1, -1));
    EXPECT_TRUE(PostMessageW(window.handle(), kPing + 1, ~WPARAM{0}, INT64_MIN));
    EXPECT_TRUE(window.received().empty());  // nothing runs before the pump
    ASSERT_EQ(KvxPumpUntil(2), 2u);
    const auto& got = window.received();
    EXPECT_EQ(got[0].message, kPing);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(got[0].lParam, -1);
    EXPECT_EQ(got[1].message, kPing + 1);
    EXPECT_EQ(got[1].wParam, ~WPARAM{0});
    EXPECT_EQ(got[1].lParam, INT64_MIN);
    EXPECT_EQ(got[1].thread, std::this_thread::get_id());
}

TEST_F(MessageWindow, NullWindowPostsAThreadMessageToTheCaller) {
    EXPECT_TRUE(PostMessageW(nullptr, kPing, 7, 8));
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, nullptr, kPing, kPing, PM_REMOVE));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(m.message, kPing);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.lParam, 8);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, kPing, kPing, PM_REMOVE));
}

TEST_F(MessageWindow, InvalidWindowsAreRefusedWithError1400) {
    HWND stale = nullptr;
    {
        KvxTestWindow window;
        stale = window.handle();
    }
    const HWND invalid[] = {stale, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x12345678))};
    for (HWND window : invalid) {
        SetLastError(0);
        EXPECT_FALSE(PostMessageW(window, kPing, 0, 0));
        EXPECT_EQ(GetLastError(), 1400u);
        SetLastError(0);
        EXPECT_EQ(SendMessageW(window, kPing, 0, 0), 0);
        EXPECT_EQ(GetLastError(), 1400u);
    }
    SetLastError(0);
    EXPECT_EQ(SendMessageW(nullptr, kPing, 0, 0), 0);
    EXPECT_EQ(GetLastError(), 1400u);
}

TEST_F(MessageWindow, SendOnTheOwnerThreadRunsAtOnce) {
    KvxTestWindow window;
    window.SetReply(42);
    EXPECT_EQ(SendMessageW(window.handle(), kPing, 3, 4), 42);
    ASSERT_EQ(window.received().size(), 1u);
    EXPECT_EQ(window.received()[0].wParam, 3u);
}

TEST_F(MessageWindow, SendFromAnotherThreadWaitsForTheOwnersPump) {
    KvxTestWindow window;
    window.SetReply(-5);
    std::atomic<bool> returned{false};
    bool returnedBeforeProcedure = true;
    window.OnMessage([&](const KvxTestWindow::Received&) { returnedBeforeProcedure = returned; });
    LRESULT result = 0;
    std::thread sender([&] {
        result = SendMessageW(window.handle(), kPing, 9, 0);
        returned = true;
    });
    ASSERT_EQ(KvxPumpUntil(1), 1u);
    // The procedure ran on the owner thread while the sender still waited for it.
    EXPECT_FALSE(returnedBeforeProcedure);
    sender.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, -5);
    EXPECT_EQ(window.received()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(window.received()[0].wParam, 9u);
}

TEST_F(MessageWindow, DestroyingAWindowDropsItsQueuedMessages) {
    auto window = std::make_unique<KvxTestWindow>();
    EXPECT_TRUE(PostMessageW(window->handle(), kPing, 0, 0));
    window.reset();
    KvxTestWindow other;
    EXPECT_TRUE(PostMessageW(other.handle(), kPing, 1, 0));
    ASSERT_EQ(KvxPumpUntil(1), 1u);
    EXPECT_EQ(KvxTestWindow::Journal()[0].window, other.handle());
}

TEST_F(MessageWindow, ManyThreadsPostingLoseNothingAndKeepEachThreadsOrder) {
    KvxTestWindow window;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&window, t] {
            for (int i = 0; i < kEach; ++i) {
                PostMessageW(window.handle(), kPing, static_cast<WPARAM>(t), i);
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    ASSERT_EQ(KvxPumpUntil(kThreads * kEach), static_cast<size_t>(kThreads * kEach));
    LPARAM next[kThreads] = {};
    for (const auto& r : window.received()) {
        ASSERT_LT(r.wParam, static_cast<WPARAM>(kThreads));
        EXPECT_EQ(r.lParam, next[r.wParam]++);
    }
}

// The exported API itself, which the sample host uses on every platform.
LRESULT CountingProcedure(HWND, UINT message, WPARAM wParam, LPARAM) {
    return message == kPing ? static_cast<LRESULT>(wParam * 2) : 0;
}

TEST(MessageWindowApi, CreatesPumpsAndDestroys) {
    HWND window = KvxCreateMessageWindow(CountingProcedure);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendMessageW(window, kPing, 21, 0), 42);
    EXPECT_TRUE(PostMessageW(window, kPing, 1, 0));
    EXPECT_TRUE(PostMessageW(window, kPing, 2, 0));
    EXPECT_EQ(KvxPumpMessages(1000), 2u);
    EXPECT_EQ(KvxPumpMessages(0), 0u);
    EXPECT_TRUE(KvxDestroyMessageWindow(window));
    SetLastError(0);
    EXPECT_FALSE(KvxDestroyMessageWindow(window));
    EXPECT_EQ(GetLastError(), 1400u);
}

TEST(MessageWindowApi, RefusesANullProcedureAndForeignDestroyers) {
    SetLastError(0);
    EXPECT_EQ(KvxCreateMessageWindow(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), 87u);

    HWND window = KvxCreateMessageWindow(CountingProcedure);
    BOOL destroyed = TRUE;
    DWORD error = 0;
    std::thread([&] {
        destroyed = KvxDestroyMessageWindow(window);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(error, 5u);
    EXPECT_TRUE(KvxDestroyMessageWindow(window));
}

TEST(MessageWindowApi, AWindowDiesWithItsThread) {
    HWND window = nullptr;
    std::thread([&] { window = KvxCreateMessageWindow(CountingProcedure); }).join();
    ASSERT_NE(window, nullptr);
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(window, kPing, 0, 0));
    EXPECT_EQ(GetLastError(), 1400u);
}

}  // namespace
