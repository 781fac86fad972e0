// Tests of CQVLogSystem, the severity log.
#include "kvx/logging.h"

#include "log_test_util.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <type_traits>

namespace {

constexpr ENUM_LOG_SEVERITY_LEVEL kInfo = LOG_SEVERITY_LEVEL_INFO;

TEST(SeverityLog, DefaultLineIsColonMessageCrLfAppendedToPathDotLog) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("app.log"), "before\r\n");
    CQVLogSystem log;
    log.CreateLogSystem(dir.WFile("app").c_str(), 0);
    log.LogFormat(kInfo, L"x=%d", 5);
    log.LogFormat(kInfo, L"%s and %S", L"wide", "narrow");
    EXPECT_EQ(KvxReadFile(dir.File("app.log")), "before\r\n: x=5\r\n: wide and narrow\r\n");
}

TEST(SeverityLog, DateAndTimeFlagsShapeTheLine) {
    KvxTempDir dir;
    CQVLogSystem log;
    log.CreateLogSystem(dir.WFile("app").c_str(), 0);
    const kvx_datetime t = At(kMarch5At070809010);
    log.ShowDate(1);
    log.ShowTime(1);
    log.LogFormat(kInfo, t, L"both");
    log.LogFormat(kInfo, t, L"");
    log.LogFormat(kInfo, kvx_datetime(), L"empty time");
    log.ShowTime(0);
    log.LogFormat(kInfo, t, L"date");
    log.ShowDate(0);
    log.ShowTime(1);
    log.LogFormat(kInfo, t, L"time");
    log.Enable(0);
    EXPECT_EQ(log.IsEnabled(), 0);
    log.LogFormat(kInfo, t, L"disabled");
    EXPECT_EQ(KvxReadFile(dir.File("app.log")), "2026.03.05 - 07:08:09.010: both\r\n"
                                                "2026.03.05 - 07:08:09.010\r\n"
                                                " - : empty time\r\n"
                                                "2026.03.05: date\r\n"
                                                "07:08:09.010: time\r\n");
}

TEST(SeverityLog, FileNamePartLosesCharactersFilesCannotHold) {
    KvxTempDir dir;
    CQVLogSystem log;
    log.CreateLogSystem((dir.WFile("a?b:c") + L"|d*e\"f<g>h").c_str(), 0);
    log.LogFormat(kInfo, L"1");
    CQVLogSystem withExtension;
    withExtension.CreateLogSystem(dir.WFile("app.txt").c_str(), 0);
    withExtension.LogFormat(kInfo, L"2");
    EXPECT_EQ(KvxReadFile(dir.File("a#b#c#d#e#f#g#h.log")), ": 1\r\n");
    EXPECT_EQ(KvxReadFile(dir.File("app.txt.log")), ": 2\r\n");
}

TEST(SeverityLog, HeaderStartsOnlyNewFiles) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("old.log"), "old\r\n");
    CQVLogSystem log;
    log.SetNewFileHeader(L"Time;Text");
    log.CreateLogSystem(dir.WFile("new").c_str(), 0);
    log.LogFormat(kInfo, L"a");
    log.CreateLogSystem(dir.WFile("old").c_str(), 1);  // emptied, but it existed: no header
    log.LogFormat(kInfo, L"b");
    log.SetNewFileHeader(nullptr);
    log.CreateLogSystem(dir.WFile("plain").c_str(), 0);
    log.LogFormat(kInfo, L"c");
    EXPECT_EQ(KvxReadFile(dir.File("new.log")), "Time;Text\r\n: a\r\n");
    EXPECT_EQ(KvxReadFile(dir.File("old.log")), ": b\r\n");
    EXPECT_EQ(KvxReadFile(dir.File("plain.log")), ": c\r\n");
}

TEST(SeverityLog, DailyFilesRollOverWithAHeaderAndKeepWhatWasWritten) {
    KvxTempDir dir;
    CQVLogSystem log;
    log.NewFileEachDay();
    log.SetNewFileHeader(L"header");
    {
        ClockAt clock(kMarch5At070809010);
        log.CreateLogSystem(dir.WFile("app").c_str(), 0);
        log.LogFormat(kInfo, L"day 1");
        // A line whose own day is ahead of the UTC date keeps the open file and its lines.
        log.LogFormat(kInfo, At(kMarch6Midnight + kTicksPerHour), L"ahead");
        log.LogFormat(kInfo, At(kMarch6Midnight + 2 * kTicksPerHour), L"ahead again");
    }
    {
        ClockAt clock(kMarch6Midnight + 3 * kTicksPerHour);
        log.LogFormat(kInfo, L"day 2");
    }
    EXPECT_EQ(KvxReadFile(dir.File("app-20260305.log")),
              "header\r\n: day 1\r\n: ahead\r\n: ahead again\r\n");
    EXPECT_EQ(KvxReadFile(dir.File("app-20260306.log")), "header\r\n: day 2\r\n");
}

TEST(SeverityLog, FilesThatCannotBeCreatedThrowWithTheNameInParentheses) {
    KvxTempDir dir;
    std::filesystem::create_directory(dir.File("folder.log"));
    ILogFileInterface holder;
    ASSERT_EQ(holder.SetLogfile(dir.NFile("held.log").c_str(), 0), kvx_error_none);
    const std::string names[] = {"missing/app", "folder", "held"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        CQVLogSystem log;
        const std::string file = dir.NFile(name) + ".log";
        try {
            log.CreateLogSystem(dir.WFile(name).c_str(), 0);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            const std::string what = error.what();
            const std::string tail = " (" + file + ")";
            ASSERT_GT(what.size(), tail.size());
            EXPECT_EQ(what.substr(what.size() - tail.size()), tail);
        }
        log.LogFormat(kInfo, L"dropped");  // closed: nothing written, nothing thrown
    }
    holder.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("held.log")), "");
}

TEST(SeverityLog, OverlongPathsAreCutAndKeepTheirEnding) {
    KvxTempDir dir;
    const std::string base = OverlongName(dir.path());
    CQVLogSystem log;
    log.CreateLogSystem(std::wstring(base.begin(), base.end()).c_str(), 0);
    log.LogFormat(kInfo, L"cut");
    const std::string file = base.substr(0, 255) + ".log";
    EXPECT_EQ(KvxReadFile(file), ": cut\r\n");
}

TEST(SeverityLog, SubscribersHearOfTheHistoryEachTimeOneJoins) {
    KvxTestWindow::ClearJournal();
    KvxTestWindow first;
    KvxTestWindow second;
    CQVLogSystem log;
    log.SubscribeNotification(first.handle());
    log.SubscribeNotification(second.handle());
    ASSERT_EQ(KvxPumpUntil(3), 3u);
    ASSERT_EQ(first.received().size(), 2u);
    ASSERT_EQ(second.received().size(), 1u);
    for (const auto& r : KvxTestWindow::Journal()) {
        EXPECT_EQ(r.message, 1030u);
        EXPECT_EQ(r.wParam, reinterpret_cast<WPARAM>(&log.GetHistory()));
        EXPECT_EQ(r.lParam, 0);
    }
    log.UnsubscribeNotification(first.handle());
    log.UnsubscribeNotification(first.handle());
    KvxTestWindow::ClearJournal();
    log.SubscribeNotification(first.handle());
    ASSERT_EQ(KvxPumpUntil(2), 2u);
    EXPECT_EQ(KvxTestWindow::Journal()[0].window, second.handle());
    EXPECT_EQ(KvxTestWindow::Journal()[1].window, first.handle());
}

TEST(SeverityLog, HistoryAndSeverityTable) {
    CQVLogSystem log;
    log.SetMaxEntries(5);
    log.ClearHistory();
    EXPECT_EQ(log.GetLogSize(), 0u);
    EXPECT_TRUE(log.GetHistory().empty());
    EXPECT_EQ(log.GetLogEntry(0), nullptr);

    LOG_SEVERITY_INFO* warning = log.AddSevertity(2, L"warning");
    LOG_SEVERITY_INFO* unnamed = log.AddSevertity(7, nullptr);
    ASSERT_NE(warning, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(warning->level, 2u);
    EXPECT_EQ(warning->enabled, 1);
    EXPECT_EQ(warning->mask, -1);
    EXPECT_EQ(std::wstring(warning->name), L"warning");
    EXPECT_EQ(unnamed->level, 7u);
    EXPECT_EQ(unnamed->name, nullptr);
    static_assert(!std::is_copy_constructible_v<CQVLogSystem>);
    static_assert(!std::is_copy_assignable_v<CQVLogSystem>);
}

}  // namespace
