// io_faults_log_test.cpp: the traffic log, the console printer's file channel and the severity
// log under I/O faults: each fault gets its documented result, nothing crashes, and what was
// written before the fault stays in the file.
#include "fault_maker.h"

#include "kvx/logging.h"
#include "platform/clock.h"
#include "platform/win32.h"
#include "support/clock_shift.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int64_t kTicksPerDay = 864000000000LL;

using kvx_faults::Holder;

// A traffic log whose lines carry no stamps, so their bytes are known: "-> text\n".
class PlainTrafficLog : public ILogInterface {
public:
    PlainTrafficLog() { EnableDateTime(LOG_CHANNEL_FILE, 0, 0); }
    void Line(const std::string& text) {
        kvx_datetime now(kvx_dt_utc_now);
        LogMessage(0, LOG_DIRECTION_OUT, text.c_str(), text.size(), now, 0);
    }
};

std::string TrafficLines(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        text += "-> line " + std::to_string(i) + "\n";
    }
    return text;
}

std::string SeverityLines(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        text += ": line " + std::to_string(i) + "\r\n";
    }
    return text;
}

std::string DayName(const std::string& base) {
    const kvx_datetime now(kvx_dt_utc_now);
    std::string day;
    const CWideString digits = now.FormatDate(L"yyyyMMdd");
    for (const wchar_t* c = digits.GetText(); *c != L'\0'; ++c) {
        day += static_cast<char>(*c);
    }
    return base + "-" + day + ".log";
}

// ---------------------------------------------------------------------------------------------
// Traffic log (ILogFileInterface), also as the console printer's file channel.

// Names the log cannot open: each gives kvx_error_file_open, leaves the object closed and
// usable, creates nothing, and a later good name works.
TEST(TrafficLogFaults, UnopenableNamesReportFileOpenAndLeaveTheLogUsable) {
    KvxTempDir dir;
    fs::create_directory(dir.File("folder.log"));
    Holder held(dir.File("held.log"));
    ASSERT_TRUE(held.Held());
    const struct {
        const char* what;
        std::string name;
    } cases[] = {
        {"missing folder", dir.NFile("missing") + "/t.log"},
        {"folder in the place of the file", dir.NFile("folder.log")},
        {"file held by another opener", dir.NFile("held.log")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlainTrafficLog log;
        ASSERT_EQ(log.SetLogfile(dir.NFile("good.log").c_str(), 0), kvx_error_none);
        log.Line("before");
        EXPECT_EQ(log.SetLogfile(c.name.c_str(), 0), kvx_error_file_open);
        log.Line("dropped");  // closed: nothing, no failure
        EXPECT_EQ(KvxReadFile(dir.File("good.log")), "-> before\n");
        EXPECT_EQ(log.SetLogfile(dir.NFile("good.log").c_str(), 0), kvx_error_none);
        log.Line("after");
        EXPECT_EQ(KvxReadFile(dir.File("good.log")), "-> before\n-> after\n");
        log.CloseLogFile();
        fs::remove(dir.File("good.log"));
    }
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_TRUE(fs::is_directory(dir.File("folder.log")));
    EXPECT_EQ(KvxReadFile(dir.File("held.log")), "");
}

// Two logs on one file: the second is refused, the first keeps every line.
TEST(TrafficLogFaults, SecondWriterIsRefusedAndTheFirstLosesNothing) {
    KvxTempDir dir;
    PlainTrafficLog first;
    PlainTrafficLog second;
    ASSERT_EQ(first.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none);
    first.Line("line 0");
    EXPECT_EQ(second.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_file_open);
    second.Line("line x");
    first.Line("line 1");
    first.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("t.log")), TrafficLines(0, 2));
}

// A full disk from the first byte: the file opens, every line is lost quietly (write errors
// are ignored), the console channel is untouched.
TEST(TrafficLogFaults, FullDiskLosesLinesQuietlyAndKeepsTheConsole) {
    std::wstring device;
    KVX_FAULT_OR_SKIP(kvx_faults::FullDevicePath, device);
    std::string name;
    for (const wchar_t c : device) {
        name += static_cast<char>(c);
    }
    PlainTrafficLog log;
    ASSERT_EQ(log.SetLogfile(name.c_str(), 0), kvx_error_none);
    log.Line("lost");
    KvxStdoutCapture capture;
    log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_ALWAYS, LOG_ATTRIBUT_NONE, "both %d", 2);
    EXPECT_EQ(capture.Finish(), "both 2\n");
}

// A disk that fills part-way: every line before the limit is whole in the file, the bytes up to
// the limit are the lines' bytes, and the calls after it return normally.
TEST(TrafficLogFaults, DiskFillingUpKeepsEveryEarlierLine) {
    KvxTempDir dir;
    const std::string name = dir.NFile("t.log");
    constexpr uint64_t kLimit = 100;
    int result = 0;
    KVX_FAULT_OR_SKIP(
        kvx_faults::RunWithFileSizeLimit, kLimit,
        [&] {
            PlainTrafficLog log;
            if (log.SetLogfile(name.c_str(), 0) != kvx_error_none) {
                return 1;
            }
            for (int i = 0; i < 40; ++i) {
                log.Line("line " + std::to_string(i));
            }
            log.Output(LOG_CHANNEL_FILE, LOG_LEVEL_ALWAYS, LOG_ATTRIBUT_NONE, "after %d", 1);
            return 0;
        },
        result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(KvxReadFile(name), TrafficLines(0, 40).substr(0, kLimit));
}

// The file removed while a log holds it: where the system allows it the log writes line 1 on
// into the removed file and, reopened, starts a fresh one with line 2; where it refuses (error
// 32), nothing changes and the file holds lines 0 and 1.
template <class Write, class Reopen>
void ExpectDeletedWhileOpen(const fs::path& file, Write write, Reopen reopen,
                            std::string (*lines)(int first, int count)) {
    write(0);
    int error = 0;
    const bool deleted = kvx_faults::DeleteOpenFile(file, error);
    write(1);
    if (deleted) {
        EXPECT_FALSE(fs::exists(file));
        reopen();
        write(2);
        EXPECT_EQ(KvxReadFile(file), lines(2, 1));
    } else {
        EXPECT_EQ(error, 32);
        EXPECT_EQ(KvxReadFile(file), lines(0, 2));
    }
}

TEST(TrafficLogFaults, FileDeletedWhileOpen) {
    KvxTempDir dir;
    PlainTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none);
    ExpectDeletedWhileOpen(
        dir.File("t.log"), [&](int i) { log.Line("line " + std::to_string(i)); },
        [&] { ASSERT_EQ(log.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none); },
        TrafficLines);
}

// A daily roll-over into a file another program holds: the line is dropped, the object closes,
// yesterday's file keeps every line, and SetLogfile starts again once the file is free.
TEST(TrafficLogFaults, RollOverIntoAHeldFileClosesTheLogAndKeepsTheOldDay) {
    KvxTempDir dir;
    const std::string base = dir.NFile("t");
    PlainTrafficLog log;
    ASSERT_EQ(log.SetLogfile(base.c_str(), 1), kvx_error_none);
    const std::string today = DayName(base);
    log.Line("line 0");
    const KvxClockShift tomorrow(kTicksPerDay);
    const std::string next = DayName(base);
    Holder held(next);
    ASSERT_TRUE(held.Held());
    log.Line("lost at the roll-over");
    log.Line("lost while closed");
    EXPECT_EQ(KvxReadFile(today), TrafficLines(0, 1));
    EXPECT_EQ(KvxReadFile(next), "");
    held.Release();
    log.Line("still closed");
    EXPECT_EQ(KvxReadFile(next), "");
    ASSERT_EQ(log.SetLogfile(base.c_str(), 1), kvx_error_none);
    log.Line("line 1");
    EXPECT_EQ(KvxReadFile(next), TrafficLines(1, 1));
}

// Standard output on a full device: the console part fails quietly, the file line is written,
// and the console lock is free again.
TEST(ConsoleLogFaults, FullStandardOutputKeepsTheFileChannel) {
    KvxTempDir dir;
    PlainTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t.log").c_str(), 0), kvx_error_none);
    {
        kvx_faults::StdoutOnFullDevice full;
        if (!full.Active()) {
            GTEST_SKIP() << full.Reason();
        }
        for (int i = 0; i < 3; ++i) {
            log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_ALWAYS, LOG_ATTRIBUT_RED, "%s", "both");
        }
    }
    EXPECT_TRUE(log.GetGlobalLock().try_lock());
    log.GetGlobalLock().unlock();
    EXPECT_EQ(KvxReadFile(dir.File("t.log")), "both\nboth\nboth\n");
}

// ---------------------------------------------------------------------------------------------
// Severity log (CQVLogSystem).

// Paths the log cannot open: std::runtime_error naming the file, the object closed and usable,
// nothing created, and a refused emptying open leaves the held file's lines alone.
TEST(SeverityLogFaults, UnopenablePathsThrowWithTheFileNameAndLoseNothing) {
    KvxTempDir dir;
    fs::create_directory(dir.File("folder.log"));
    KvxWriteFile(dir.File("held.log"), ": kept\r\n");
    Holder held(dir.File("held.log"));
    ASSERT_TRUE(held.Held());
    const struct {
        const char* what;
        std::string path;
        std::string file;
    } cases[] = {
        {"missing folder", dir.NFile("missing") + "/app", "app.log)"},
        {"folder in the place of the file", dir.NFile("folder"), "folder.log)"},
        {"file held by another opener", dir.NFile("held"), "held.log)"},
    };
    for (const auto& c : cases) {
        for (const int createNew : {0, 1}) {
            SCOPED_TRACE(std::string(c.what) + (createNew != 0 ? ", create new" : ", append"));
            CQVLogSystem log;
            log.CreateLogSystem(dir.WFile("good").c_str(), 1);
            log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", 0);
            const std::wstring path(c.path.begin(), c.path.end());
            try {
                log.CreateLogSystem(path.c_str(), createNew);
                ADD_FAILURE() << "no exception";
            } catch (const std::runtime_error& e) {
                const std::string message = e.what();
                EXPECT_GT(message.find(" ("), 0u) << message;
                EXPECT_EQ(message.substr(message.size() - c.file.size()), c.file) << message;
            }
            log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"dropped");
            log.CreateLogSystem(dir.WFile("good").c_str(), 0);
            log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", 1);
            EXPECT_EQ(KvxReadFile(dir.File("good.log")), SeverityLines(0, 2));
        }
    }
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_EQ(KvxReadFile(dir.File("held.log")), ": kept\r\n");
}

// A full disk from the first byte, reached through a name with the ".log" ending the log adds:
// opening (appending or emptying) succeeds and the lines are lost quietly.
TEST(SeverityLogFaults, FullDiskLosesLinesQuietly) {
    KvxTempDir dir;
    KVX_FAULT_OR_SKIP(kvx_faults::LinkToFullDevice, dir.File("full.log"));
    for (const int createNew : {0, 1}) {
        SCOPED_TRACE(createNew);
        CQVLogSystem log;
        log.SetNewFileHeader(L"header");
        log.ShowDate(1);
        log.ShowTime(1);
        EXPECT_NO_THROW(log.CreateLogSystem(dir.WFile("full").c_str(), createNew));
        log.LogFormat(LOG_SEVERITY_LEVEL_ERROR, L"lost %s", L"text");
    }
}

TEST(SeverityLogFaults, DiskFillingUpKeepsEveryEarlierLine) {
    KvxTempDir dir;
    const std::wstring path = dir.WFile("app");
    constexpr uint64_t kLimit = 120;
    int result = 0;
    KVX_FAULT_OR_SKIP(
        kvx_faults::RunWithFileSizeLimit, kLimit,
        [&] {
            CQVLogSystem log;
            try {
                log.CreateLogSystem(path.c_str(), 1);
            } catch (const std::exception&) {
                return 1;
            }
            for (int i = 0; i < 40; ++i) {
                log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", i);
            }
            return 0;
        },
        result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(KvxReadFile(dir.File("app.log")), SeverityLines(0, 40).substr(0, kLimit));
}

TEST(SeverityLogFaults, FileDeletedWhileOpen) {
    KvxTempDir dir;
    CQVLogSystem log;
    log.CreateLogSystem(dir.WFile("app").c_str(), 1);
    ExpectDeletedWhileOpen(
        dir.File("app.log"), [&](int i) { log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", i); },
        [&] { log.CreateLogSystem(dir.WFile("app").c_str(), 0); }, SeverityLines);
}

// A daily renewal into a held file throws from LogFormat, keeps yesterday's lines, and drops
// the lines of the day without throwing again (the day's file is known not to open).
TEST(SeverityLogFaults, RenewalIntoAHeldFileThrowsOnceAndKeepsTheOldDay) {
    KvxTempDir dir;
    const std::string base = dir.NFile("app");
    CQVLogSystem log;
    log.NewFileEachDay();
    log.CreateLogSystem(dir.WFile("app").c_str(), 0);
    const std::string today = DayName(base);
    log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", 0);
    const KvxClockShift tomorrow(kTicksPerDay);
    const std::string next = DayName(base);
    Holder held(next);
    ASSERT_TRUE(held.Held());
    EXPECT_THROW(log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"lost"), std::runtime_error);
    EXPECT_NO_THROW(log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"dropped"));
    EXPECT_EQ(KvxReadFile(today), SeverityLines(0, 1));
    held.Release();
    log.CreateLogSystem(dir.WFile("app").c_str(), 0);
    log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"line %d", 1);
    EXPECT_EQ(KvxReadFile(next), SeverityLines(1, 1));
}

}  // namespace
