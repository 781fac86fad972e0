// Tests of CQVNotifier with real message windows (message-only windows on Windows).
#include "kvx/logging.h"

#include "platform/win32.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr UINT kNote = WM_USER + 20;

// Two windows and a notifier with an empty list, made for each test.
class Notifier : public ::testing::Test {
protected:
    void SetUp() override { KvxTestWindow::ClearJournal(); }

    // The windows that received something, in delivery order.
    static std::vector<HWND> Deliveries() {
        std::vector<HWND> order;
        for (const auto& r : KvxTestWindow::Journal()) {
            order.push_back(r.window);
        }
        return order;
    }

    KvxTestWindow a;
    KvxTestWindow b;
    CQVNotifier notifier;
};

TEST_F(Notifier, EmptyListDeliversNothing) {
    notifier.PostNotification(kNote, 1, 2);
    notifier.SendNotification(kNote, 1, 2);
    EXPECT_EQ(KvxPumpUntil(1, 50), 0u);
}

TEST_F(Notifier, PostsInListOrderKeepingDuplicatesAndRemovesTheFirstOccurrence) {
    notifier.AddNotification(a.handle());
    notifier.AddNotification(b.handle());
    notifier.AddNotification(a.handle());
    notifier.PostNotification(kNote, 0xFFFFFFFFFFFFFFFFull, -7);
    ASSERT_EQ(KvxPumpUntil(3), 3u);
    EXPECT_EQ(Deliveries(), (std::vector<HWND>{a.handle(), b.handle(), a.handle()}));
    for (const auto& r : KvxTestWindow::Journal()) {
        EXPECT_EQ(r.message, kNote);
        EXPECT_EQ(r.wParam, static_cast<WPARAM>(0xFFFFFFFFFFFFFFFFull));
        EXPECT_EQ(r.lParam, -7);
    }

    KvxTestWindow::ClearJournal();
    notifier.RemoveNotification(a.handle());
    notifier.RemoveNotification(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5000)));
    notifier.PostNotification(kNote, 0, 0);
    ASSERT_EQ(KvxPumpUntil(2), 2u);
    EXPECT_EQ(Deliveries(), (std::vector<HWND>{b.handle(), a.handle()}));
}

TEST_F(Notifier, SendRunsEveryProcedureBeforeReturning) {
    notifier.AddNotification(b.handle());
    notifier.AddNotification(a.handle());
    notifier.SendNotification(kNote, 5, 6);
    EXPECT_EQ(Deliveries(), (std::vector<HWND>{b.handle(), a.handle()}));
}

TEST_F(Notifier, SendFromAnotherThreadWaitsForTheOwnerOfEachWindow) {
    notifier.AddNotification(a.handle());
    notifier.AddNotification(b.handle());
    std::atomic<bool> returned{false};
    std::vector<bool> returnedSeen;
    a.OnMessage([&](const KvxTestWindow::Received&) { returnedSeen.push_back(returned); });
    b.OnMessage([&](const KvxTestWindow::Received&) { returnedSeen.push_back(returned); });
    std::thread sender([&] {
        notifier.SendNotification(kNote, 1, 1);
        returned = true;
    });
    ASSERT_EQ(KvxPumpUntil(2), 2u);
    sender.join();
    EXPECT_EQ(returnedSeen, (std::vector<bool>{false, false}));
    EXPECT_EQ(Deliveries(), (std::vector<HWND>{a.handle(), b.handle()}));
    EXPECT_EQ(KvxTestWindow::Journal()[1].thread, std::this_thread::get_id());
}

TEST_F(Notifier, DeadAndNullWindowsDoNotStopTheWalk) {
    HWND dead = nullptr;
    {
        KvxTestWindow gone;
        dead = gone.handle();
    }
    notifier.AddNotification(dead);
    notifier.AddNotification(nullptr);
    notifier.AddNotification(a.handle());
    notifier.PostNotification(kNote, 3, 0);
    notifier.SendNotification(kNote, 4, 0);
    // The null handle posted a thread message to this thread; sending to it did nothing.
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, nullptr, kNote, kNote, PM_REMOVE));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_EQ(KvxPumpUntil(2), 2u);
    EXPECT_EQ(a.received()[0].wParam, 4u);  // sent: ran at once, before the pump
    EXPECT_EQ(a.received()[1].wParam, 3u);
}

TEST_F(Notifier, CopiesAreIndependent) {
    CQVNotifier& original = notifier;
    original.AddNotification(a.handle());
    CQVNotifier copy(original);
    copy.AddNotification(b.handle());
    CQVNotifier assigned;
    assigned.AddNotification(b.handle());
    assigned = original;
    assigned = *&assigned;  // self-assignment keeps the list

    original.SendNotification(kNote, 1, 0);
    copy.SendNotification(kNote, 2, 0);
    assigned.SendNotification(kNote, 3, 0);
    std::vector<std::pair<HWND, WPARAM>> got;
    for (const auto& r : KvxTestWindow::Journal()) {
        got.emplace_back(r.window, r.wParam);
    }
    EXPECT_EQ(got, (std::vector<std::pair<HWND, WPARAM>>{
                       {a.handle(), 1}, {a.handle(), 2}, {b.handle(), 2}, {a.handle(), 3}}));
}

TEST_F(Notifier, GrowsPastItsFirstBlocks) {
    for (int i = 0; i < 100; ++i) {
        notifier.AddNotification(a.handle());
    }
    for (int i = 0; i < 40; ++i) {
        notifier.RemoveNotification(a.handle());
    }
    notifier.SendNotification(kNote, 0, 0);
    EXPECT_EQ(a.received().size(), 60u);
}

}  // namespace
