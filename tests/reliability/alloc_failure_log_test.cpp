// alloc_failure_log_test.cpp: the loggers when any one of their heap allocations fails: the
// documented result (std::bad_alloc, or kvx_error_file_open where a file could not be opened),
// no block left behind, no torn line in the file, every lock free again, the object usable.
#include "alloc_injection.h"

#include "kvx/logging.h"
#include "platform/clock.h"
#include "platform/win32.h"
#include "support/clock_shift.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr int64_t kTicksPerDay = 864000000000LL;
// 2024-01-31 13:45:07.123 UTC
constexpr uint64_t kBaseTicks = 133511403071230000ULL;

kvx_datetime At(uint64_t seconds) {
    kvx_datetime time;
    time.ticks = kBaseTicks + seconds * kTicksPerSecond;
    return time;
}

// A message long and not ASCII, so that formatting and conversion need heap blocks.
std::wstring LongMessage() {
    std::wstring text;
    for (int i = 0; i < 120; ++i) {
        text += L"d\u00e9j\u00e0 ";
    }
    return text;
}

std::string LongNarrowMessage() {
    return std::string(700, 'x') + " and the end";
}

// Whether `after` is `before`, or `before` followed by exactly `line`.
bool WholeLineOrNothing(const std::string& before, const std::string& after,
                        const std::string& line) {
    return after == before || after == before + line;
}

// Whether a call on another thread gets through within a few seconds (a lock left held would
// keep it waiting).
template <class Call> bool CompletesOnAnotherThread(Call call) {
    auto done = std::async(std::launch::async, call);
    return done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

// ---------------------------------------------------------------------------------------------
// Severity log.

TEST(LogAllocFailure, SeverityLogCreationThrowsBadAllocAndStaysUsable) {
    KvxTempDir dir;
    const std::wstring path = dir.WFile("app");
    {
        CQVLogSystem warm;
        warm.CreateLogSystem(path.c_str(), 1);
    }
    kvx_alloc::Sweep("CQVLogSystem construction, SetNewFileHeader, CreateLogSystem",
                     [&](uint64_t failAt) -> bool {
                         std::filesystem::remove(dir.File("app.log"));
                         std::unique_ptr<CQVLogSystem> log;
                         const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] {
                             log = std::make_unique<CQVLogSystem>();
                             log->SetNewFileHeader(L"the header of every new file");
                             log->CreateLogSystem(path.c_str(), 1);
                         });
                         EXPECT_EQ(injected, threw) << failAt;
                         if (!log) {
                             log = std::make_unique<CQVLogSystem>();
                         }
                         log->CreateLogSystem(path.c_str(), 0);
                         log->LogFormat(LOG_SEVERITY_LEVEL_INFO, L"usable");
                         const std::string text = KvxReadFile(dir.File("app.log"));
                         EXPECT_GE(text.size(), 10u);
                         EXPECT_EQ(text.substr(text.size() - 10), ": usable\r\n") << failAt;
                         return injected;
                     });
}

TEST(LogAllocFailure, SeverityLogLineIsWholeOrAbsent) {
    KvxTempDir dir;
    CQVLogSystem log;
    CQVLogSystem reference;
    for (CQVLogSystem* each : {&log, &reference}) {
        each->ShowDate(1);
        each->ShowTime(1);
    }
    log.CreateLogSystem(dir.WFile("app").c_str(), 1);
    reference.CreateLogSystem(dir.WFile("reference").c_str(), 1);
    const std::wstring message = LongMessage();
    kvx_alloc::Sweep("CQVLogSystem::LogFormat", [&](uint64_t failAt) -> bool {
        const std::string before = KvxReadFile(dir.File("app.log"));
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] {
            log.LogFormat(LOG_SEVERITY_LEVEL_INFO, At(failAt), L"%s %d", message.c_str(),
                          static_cast<int>(failAt));
        });
        EXPECT_EQ(injected, threw) << failAt;
        const std::string referenceBefore = KvxReadFile(dir.File("reference.log"));
        reference.LogFormat(LOG_SEVERITY_LEVEL_INFO, At(failAt), L"%s %d", message.c_str(),
                            static_cast<int>(failAt));
        const std::string line =
            KvxReadFile(dir.File("reference.log")).substr(referenceBefore.size());
        const std::string after = KvxReadFile(dir.File("app.log"));
        EXPECT_TRUE(WholeLineOrNothing(before, after, line)) << failAt;
        if (!injected) {
            EXPECT_EQ(after, before + line);
        }
        return injected;
    });
}

// ---------------------------------------------------------------------------------------------
// Traffic log and console printer.

TEST(LogAllocFailure, TrafficSetLogfileFailsCleanlyAndStaysUsable) {
    KvxTempDir dir;
    const std::string base = dir.NFile("traffic");
    {
        ILogFileInterface warm;
        ASSERT_EQ(warm.SetLogfile(base.c_str(), 1), kvx_error_none);
    }
    kvx_alloc::Sweep("ILogFileInterface::SetLogfile (daily)", [&](uint64_t failAt) -> bool {
        ILogFileInterface log;
        kvx_error result = kvx_error_none;
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { result = log.SetLogfile(base.c_str(), 1); });
        if (injected) {
            EXPECT_TRUE(threw || result == kvx_error_file_open) << failAt;
        } else {
            EXPECT_EQ(result, kvx_error_none);
        }
        EXPECT_EQ(log.SetLogfile(base.c_str(), 1), kvx_error_none);
        return injected;
    });
}

TEST(LogAllocFailure, TrafficLineIsWholeOrAbsentAndTheLockIsFree) {
    KvxTempDir dir;
    ILogFileInterface log;
    ILogFileInterface reference;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none);
    ASSERT_EQ(reference.SetLogfile(dir.NFile("r.log").c_str(), 0), kvx_error_none);
    const std::string message = LongNarrowMessage();
    kvx_alloc::Sweep("ILogFileInterface::LogMessage", [&](uint64_t failAt) -> bool {
        const std::string before = KvxReadFile(dir.File("t.log"));
        kvx_datetime time = At(failAt);
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] {
            log.LogMessage(0, LOG_DIRECTION_IN, message.c_str(), message.size(), time, 0);
        });
        EXPECT_EQ(injected, threw) << failAt;
        const std::string after = KvxReadFile(dir.File("t.log"));
        EXPECT_TRUE(CompletesOnAnotherThread([&] {
            kvx_datetime other = At(0);
            log.LogMessage(0, LOG_DIRECTION_OUT, "", 0, other, 0);
        })) << failAt;
        const std::string referenceBefore = KvxReadFile(dir.File("r.log"));
        reference.LogMessage(0, LOG_DIRECTION_IN, message.c_str(), message.size(), time, 0);
        const std::string line = KvxReadFile(dir.File("r.log")).substr(referenceBefore.size());
        EXPECT_TRUE(WholeLineOrNothing(before, after, line)) << failAt;
        if (!injected) {
            EXPECT_EQ(after, before + line);
        }
        return injected;
    });
}

// A day's roll-over that runs out of memory for the new name keeps the open file and tries
// again with the next line, which then lands in the new day's file; one whose open fails for
// want of memory closes the log, as any failed roll-over does.
TEST(LogAllocFailure, TrafficRollOverKeepsTheLogOpen) {
    KvxTempDir dir;
    {
        ILogFileInterface warm;
        ASSERT_EQ(warm.SetLogfile(dir.NFile("warm").c_str(), 1), kvx_error_none);
    }
    kvx_alloc::Sweep(
        "ILogFileInterface::LogMessage with a day's roll-over", [&](uint64_t failAt) -> bool {
            const std::string base = dir.NFile("roll" + std::to_string(failAt));
            ILogInterface log;  // plain lines: no date or time
            log.EnableDateTime(LOG_CHANNEL_FILE, 0, 0);
            log.SetLogfile(base.c_str(), 1);
            const KvxClockShift tomorrow(kTicksPerDay);
            kvx_datetime now(kvx_dt_utc_now);
            const auto [injected, threw] = kvx_alloc::RunArmed(
                failAt, [&] { log.LogMessage(0, LOG_DIRECTION_IN, "first", 5, now, 0); });
            log.LogMessage(0, LOG_DIRECTION_IN, "second", 6, now, 0);
            log.CloseLogFile();
            const std::string day = [&] {
                std::string text;
                const CWideString digits = now.FormatDate(L"yyyyMMdd");
                for (const wchar_t* c = digits.GetText(); *c != L'\0'; ++c) {
                    text += static_cast<char>(*c);
                }
                return text;
            }();
            const std::string text = KvxReadFile(base + "-" + day + ".log");
            if (!injected) {
                EXPECT_EQ(text, "<- first\n<- second\n");
            } else if (threw) {
                EXPECT_EQ(text, "<- second\n") << failAt;  // still open: this line rolls over
            } else {
                EXPECT_EQ(text, "") << failAt;  // the new day's file did not open: closed
            }
            return injected;
        });
}

TEST(LogAllocFailure, ConsoleOutputIsWholeOrAbsentAndBothLocksAreFree) {
    KvxTempDir dir;
    ILogInterface log;
    log.EnableDateTime(LOG_CHANNEL_FILE, 0, 0);
    ASSERT_EQ(log.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none);
    const std::string message = LongNarrowMessage();
    kvx_alloc::Sweep("ILogInterface::Output to console and file", [&](uint64_t failAt) -> bool {
        const std::string line = message + " " + std::to_string(failAt) + "\n";
        const std::string before = KvxReadFile(dir.File("t.log"));
        std::string console;
        {
            KvxStdoutCapture capture;
            const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] {
                log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_ERROR, LOG_ATTRIBUT_RED, "%s %d",
                           message.c_str(), static_cast<int>(failAt));
            });
            EXPECT_EQ(injected, threw) << failAt;
            console = capture.Finish();
            if (!injected) {
                EXPECT_EQ(console, line);
                EXPECT_EQ(KvxReadFile(dir.File("t.log")), before + line);
                return false;
            }
        }
        EXPECT_TRUE(console.empty() || console == line) << failAt;
        EXPECT_TRUE(WholeLineOrNothing(before, KvxReadFile(dir.File("t.log")), line)) << failAt;
        EXPECT_TRUE(log.GetGlobalLock().try_lock()) << failAt;
        log.GetGlobalLock().unlock();
        EXPECT_TRUE(CompletesOnAnotherThread([&] {
            log.Output(LOG_CHANNEL_FILE, LOG_LEVEL_ERROR, LOG_ATTRIBUT_NONE, "other");
        })) << failAt;
        return true;
    });
}

// A subscription that runs out of memory either throws std::bad_alloc with the window list as
// it was, or (off Windows, where the message queues are the library's) loses posted messages
// only: what arrives is in order, and the window is subscribed.
TEST(LogAllocFailure, SubscriptionThrowsWithTheListAsItWasOrLosesOnlyMessages) {
    std::vector<std::unique_ptr<KvxTestWindow>> windows;
    for (int i = 0; i < 6; ++i) {
        windows.push_back(std::make_unique<KvxTestWindow>());
    }
    {
        CQVLogSystem warm;
        for (int i = 0; i < 6; ++i) {
            warm.SubscribeNotification(windows[static_cast<size_t>(i)]->handle());
        }
        KvxPumpUntil(21);
        KvxTestWindow::ClearJournal();
    }
    // The windows that should receive the messages of subscriptions of `first`..`last`.
    const auto handles = [&](std::initializer_list<size_t> which) {
        std::vector<HWND> list;
        for (const size_t i : which) {
            list.push_back(windows[i]->handle());
        }
        return list;
    };
    const auto delivered = [](size_t expected) {
        KvxPumpUntil(expected, 200);
        std::vector<HWND> list;
        for (const KvxTestWindow::Received& r : KvxTestWindow::Journal()) {
            list.push_back(r.window);
        }
        KvxTestWindow::ClearJournal();
        return list;
    };
    // Whether `got` is `all` with some entries left out.
    const auto isSubsequence = [](const std::vector<HWND>& got, const std::vector<HWND>& all) {
        size_t at = 0;
        for (const HWND w : got) {
            while (at < all.size() && all[at] != w) {
                ++at;
            }
            if (at == all.size()) {
                return false;
            }
            ++at;
        }
        return true;
    };
    kvx_alloc::Sweep("CQVLogSystem::SubscribeNotification", [&](uint64_t failAt) -> bool {
        CQVLogSystem log;
        for (size_t i = 0; i < 4; ++i) {  // fills the list's first room
            log.SubscribeNotification(windows[i]->handle());
        }
        delivered(10);
        const auto [injected, threw] =
            kvx_alloc::RunArmed(failAt, [&] { log.SubscribeNotification(windows[4]->handle()); });
        const std::vector<HWND> got = delivered(injected ? 99 : 5);
        const std::vector<HWND> all = handles({0, 1, 2, 3, 4});
        if (!injected) {
            EXPECT_EQ(got, all);
        } else if (threw) {
            EXPECT_TRUE(got.empty()) << failAt;
        } else {
            EXPECT_TRUE(isSubsequence(got, all)) << failAt;
        }
        log.SubscribeNotification(windows[5]->handle());
        EXPECT_EQ(delivered(threw ? 5 : 6),
                  threw ? handles({0, 1, 2, 3, 5}) : handles({0, 1, 2, 3, 4, 5}))
            << failAt;
        return injected;
    });
}

// Posting through a notifier never throws: off Windows a queue that cannot grow loses that
// message only (PostMessageW gives FALSE, 8), and what arrives is in order.
TEST(LogAllocFailure, NotifierPostsLoseOnlyTheMessageThatFoundNoRoom) {
    KvxTestWindow window;
    CQVNotifier notifier;
    notifier.AddNotification(window.handle());
    constexpr int kPosts = 200;
    for (int i = 0; i < kPosts; ++i) {
        notifier.PostNotification(WM_USER + 1, static_cast<uint64_t>(i), 0);
    }
    KvxPumpUntil(kPosts);
    KvxTestWindow::ClearJournal();
    kvx_alloc::Sweep("CQVNotifier::PostNotification, 200 posts", [&](uint64_t failAt) -> bool {
        const auto [injected, threw] = kvx_alloc::RunArmed(failAt, [&] {
            for (int i = 0; i < kPosts; ++i) {
                notifier.PostNotification(WM_USER + 1, static_cast<uint64_t>(i), 0);
            }
        });
        EXPECT_FALSE(threw) << failAt;
        KvxPumpUntil(injected ? kPosts - 1 : kPosts, 1000);
        const std::vector<KvxTestWindow::Received>& got = KvxTestWindow::Journal();
        EXPECT_EQ(got.size(), injected ? kPosts - 1u : kPosts + 0u) << failAt;
        for (size_t i = 1; i < got.size(); ++i) {
            EXPECT_LT(got[i - 1].wParam, got[i].wParam) << failAt;
        }
        KvxTestWindow::ClearJournal();
        // The queue keeps a block of its storage when empty: cycle it through fresh blocks, so
        // that no block of the attempt stays and counts as left behind.
        for (int i = 0; i < kPosts; ++i) {
            notifier.PostNotification(WM_USER + 1, static_cast<uint64_t>(i), 0);
        }
        KvxPumpUntil(kPosts);
        KvxTestWindow::ClearJournal();
        return injected;
    });
}

}  // namespace
