// Tests of ILogFileInterface, the message traffic log file.
#include "kvx/logging.h"

#include "log_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

namespace {

// The default stamp of a line at `ticks`: short date, "-", time with milliseconds, blank.
std::string Stamp(uint64_t ticks) {
    const kvx_datetime t = At(ticks);
    return Narrow(t.GetDateText(0)) + "-" + Narrow(t.GetTimeText(1)) + " ";
}

// A traffic log with date and time off, so that lines are marker and message only.
class BareTrafficLog : public ILogFileInterface {
public:
    BareTrafficLog() { _EnableDateTime(0, 0); }
    using ILogFileInterface::_EnableDateTime;
    using ILogFileInterface::_Write2File;
};

TEST(TrafficLog, DefaultLineCarriesDateTimeAndMarker) {
    KvxTempDir dir;
    ILogFileInterface log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("traffic.txt").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    log.LogMessage(0, LOG_DIRECTION_IN, "hello", 5, t, 0);
    log.CloseLogFile();
    const std::string text = KvxReadFile(dir.File("traffic.txt"));
    EXPECT_EQ(text, Stamp(kMarch5At070809010) + "<- hello\n");
    // The time text ends with the milliseconds of the value.
    EXPECT_NE(text.find(".010 <- "), std::string::npos);
}

TEST(TrafficLog, MarkersFollowTheDirection) {
    KvxTempDir dir;
    BareTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    const int directions[] = {0, 1, 7, -1};
    for (int d : directions) {
        log.LogMessage(0, static_cast<ENUM_LOG_INTERFACE_DIRECTION>(d), "m", 1, t, 0);
    }
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("t")), "<- m\n-> m\n-> m\n-> m\n");
}

TEST(TrafficLog, MessageIsCutAtLengthOrNulAndLosesTrailingSpace) {
    const struct {
        const char* data;
        uint64_t length;
        const char* want;
    } cases[] = {
        {"abc\r\n", 5, "abc"},
        {"abc\0defghi", 10, "abc"},
        {" \t\r\n \n", 6, ""},
        {"abcdef", 3, "abc"},
        {"  a b\tc \t", 9, "  a b\tc"},
        {"x\vy\f", 4, "x\vy\f"},  // only TAB, LF, CR and blank count as trailing space
        {"abc", 0, ""},
        {nullptr, 5, ""},  // a null pointer logs an empty message
    };
    KvxTempDir dir;
    BareTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    std::string want;
    for (const auto& c : cases) {
        log.LogMessage(0, LOG_DIRECTION_OUT, c.data, c.length, t, 0);
        want += std::string("-> ") + c.want + "\n";
    }
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("t")), want);
}

TEST(TrafficLog, DateAndTimeFlagsShapeTheStamp) {
    KvxTempDir dir;
    BareTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    const kvx_datetime same = At(kMarch5At070809010);
    const std::string date = Narrow(same.GetDateText(0));
    const std::string time = Narrow(same.GetTimeText(1));
    log._EnableDateTime(1, 0);
    log.LogMessage(0, LOG_DIRECTION_IN, "a", 1, t, 0);
    log._EnableDateTime(0, 1);
    log.LogMessage(0, LOG_DIRECTION_IN, "b", 1, t, 0);
    log._EnableDateTime(1, 1);
    kvx_datetime empty;
    log.LogMessage(0, LOG_DIRECTION_IN, "c", 1, empty, 0);
    log._Write2File(t, "plain \r\n");  // no marker, nothing stripped
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("t")), date + "<- a\n" + time + " <- b\n" + "- <- c\n" + date +
                                              "-" + time + " plain \r\n\n");
}

TEST(TrafficLog, ExistingFileIsAppendedTo) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("t"), "old line\n");
    BareTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    log.LogMessage(0, LOG_DIRECTION_IN, "new", 3, t, 0);
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);  // reopen
    log.LogMessage(0, LOG_DIRECTION_OUT, "newer", 5, t, 0);
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("t")), "old line\n<- new\n-> newer\n");
}

TEST(TrafficLog, FilesThatCannotBeOpenedGiveFileOpenAndLeaveTheLogClosed) {
    KvxTempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    ILogFileInterface holder;
    ASSERT_EQ(holder.SetLogfile(dir.NFile("held").c_str(), 0), kvx_error_none);
    const std::string names[] = {dir.NFile("missing/t.log"), dir.NFile("folder"), dir.NFile("held"),
                                 ""};
    kvx_datetime t = At(kMarch5At070809010);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        BareTrafficLog log;
        EXPECT_EQ(log.SetLogfile(name.c_str(), 0), kvx_error_file_open);
        log.LogMessage(0, LOG_DIRECTION_IN, "lost", 4, t, 0);
    }
    BareTrafficLog log;
    EXPECT_EQ(log.SetLogfile(nullptr, 0), kvx_error_file_open);
    log.LogMessage(0, LOG_DIRECTION_IN, "lost", 4, t, 0);
    holder.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("held")), "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(TrafficLog, NullNameClosesTheOpenFileAndNothingIsWrittenAfterClose) {
    KvxTempDir dir;
    BareTrafficLog log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    kvx_datetime t = At(kMarch5At070809010);
    log.LogMessage(0, LOG_DIRECTION_IN, "1", 1, t, 0);
    EXPECT_EQ(log.SetLogfile(nullptr, 1), kvx_error_file_open);
    log.LogMessage(0, LOG_DIRECTION_IN, "2", 1, t, 0);
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    log.CloseLogFile();
    log.CloseLogFile();  // a second close does nothing
    log.LogMessage(0, LOG_DIRECTION_IN, "3", 1, t, 0);
    EXPECT_EQ(KvxReadFile(dir.File("t")), "<- 1\n");
}

TEST(TrafficLog, DailyFileNameCarriesTheUtcDateAndRollsOver) {
    KvxTempDir dir;
    BareTrafficLog log;
    {
        ClockAt clock(kMarch5At070809010);
        ASSERT_EQ(log.SetLogfile(dir.NFile("traffic").c_str(), 1), kvx_error_none);
        kvx_datetime t = At(kMarch5At070809010);
        log.LogMessage(0, LOG_DIRECTION_IN, "day 1", 5, t, 0);
        // A line ahead of the UTC day (local time east of UTC) keeps the open file.
        kvx_datetime ahead = At(kMarch6Midnight + kTicksPerHour);
        log.LogMessage(0, LOG_DIRECTION_IN, "ahead", 5, ahead, 0);
    }
    {
        ClockAt clock(kMarch6Midnight + 2 * kTicksPerHour);
        kvx_datetime t = At(kMarch6Midnight + 2 * kTicksPerHour);
        log.LogMessage(0, LOG_DIRECTION_OUT, "day 2", 5, t, 0);
        kvx_datetime earlier = At(kMarch5At070809010);  // an older line goes to the open file
        log.LogMessage(0, LOG_DIRECTION_OUT, "late", 4, earlier, 0);
    }
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("traffic-20260305.log")), "<- day 1\n<- ahead\n");
    EXPECT_EQ(KvxReadFile(dir.File("traffic-20260306.log")), "-> day 2\n-> late\n");
}

TEST(TrafficLog, OverlongNamesAreCutAndKeepTheirDatedEnding) {
    KvxTempDir dir;
    const std::string base = OverlongName(dir.path());
    kvx_datetime t = At(kMarch5At070809010);
    {
        BareTrafficLog log;
        ASSERT_EQ(log.SetLogfile(base.c_str(), 0), kvx_error_none);
        log.LogMessage(0, LOG_DIRECTION_IN, "cut", 3, t, 0);
    }
    EXPECT_EQ(KvxReadFile(base.substr(0, 259)), "<- cut\n");
    {
        ClockAt clock(kMarch5At070809010);
        BareTrafficLog log;
        ASSERT_EQ(log.SetLogfile(base.c_str(), 1), kvx_error_none);
        log.LogMessage(0, LOG_DIRECTION_IN, "dated", 5, t, 0);
    }
    const std::string dated = base.substr(0, 259 - 13) + "-20260305.log";
    ASSERT_EQ(dated.size(), 259u);
    EXPECT_EQ(KvxReadFile(dated), "<- dated\n");
}

TEST(TrafficLog, ThreadsWriteWholeLinesThatNeverInterleave) {
    KvxTempDir dir;
    ILogFileInterface log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("t").c_str(), 0), kvx_error_none);
    constexpr int kThreads = 4;
    constexpr int kLines = 1500;
    std::vector<std::thread> writers;
    for (int w = 0; w < kThreads; ++w) {
        writers.emplace_back([&log, w] {
            kvx_datetime t = At(kMarch5At070809010);
            for (int i = 0; i < kLines; ++i) {
                const std::string message = "w" + std::to_string(w) + " line " + std::to_string(i) +
                                            " " + std::string(40, 'x');
                log.LogMessage(0, LOG_DIRECTION_OUT, message.c_str(), message.size(), t, 0);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    log.CloseLogFile();
    const std::string stamp = Stamp(kMarch5At070809010) + "-> ";
    int next[kThreads] = {};
    const auto lines = Lines(KvxReadFile(dir.File("t")));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const std::string& line : lines) {
        ASSERT_EQ(line.compare(0, stamp.size(), stamp), 0) << line;
        const std::string message = line.substr(stamp.size());
        const int w = message[1] - '0';
        ASSERT_TRUE(w >= 0 && w < kThreads) << line;
        ASSERT_EQ(message, "w" + std::to_string(w) + " line " + std::to_string(next[w]) + " " +
                               std::string(40, 'x'));
        ++next[w];
    }
}

}  // namespace
