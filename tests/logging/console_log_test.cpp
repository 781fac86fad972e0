// Tests of ILogInterface, the console printer and its file channel.
#include "kvx/logging.h"

#include "log_test_util.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

// 07:08:09.000 UTC, so that a line printed within the next second shows 07:08:09.
constexpr uint64_t kWholeSecond = kMarch5At070809010 - 100000ULL;

class ConsoleLog : public ::testing::Test {
protected:
    // The console date and time texts of "now" on the shifted clock (local time).
    static std::string Date() { return Narrow(kvx_datetime(kvx_dt_local_now).GetDateText(0)); }
    static std::string Time() { return Narrow(kvx_datetime(kvx_dt_local_now).GetTimeText(0)); }
};

TEST_F(ConsoleLog, DefaultConsoleLineIsTheMessageAloneAndTheFileLineIsStamped) {
    KvxTempDir dir;
    ClockAt clock(kWholeSecond);
    ILogInterface log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("c.log").c_str(), 0), kvx_error_none);
    KvxStdoutCapture capture;
    log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_INFO, LOG_ATTRIBUT_RED, "x=%d %s", 5, "five");
    EXPECT_EQ(capture.Finish(), "x=5 five\n");
    log.CloseLogFile();
    const kvx_datetime now(kvx_dt_local_now);
    const std::string file = KvxReadFile(dir.File("c.log"));
    const std::string date = Narrow(now.GetDateText(0));
    ASSERT_GT(file.size(), date.size());
    EXPECT_EQ(file.substr(0, date.size() + 1), date + "-");
    EXPECT_EQ(file.substr(file.size() - 10), " x=5 five\n");
}

TEST_F(ConsoleLog, DateAndTimeFlagsShapeTheConsoleLine) {
    ClockAt clock(kWholeSecond);
    ILogInterface log;
    const struct {
        int date, time;
        std::string want;
    } cases[] = {
        {0, 0, "m\n"},
        {1, 0, Date() + "m\n"},
        {0, 1, Time() + " m\n"},
        {1, 1, Date() + " - " + Time() + " m\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        log.EnableDateTime(LOG_CHANNEL_CONSOLE, c.date, c.time);
        KvxStdoutCapture capture;
        log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_ERROR, LOG_ATTRIBUT_NONE, "m");
        EXPECT_EQ(capture.Finish(), c.want);
    }
    // Any other channel value changes no flag.
    log.EnableDateTime(static_cast<ENUM_LOG_INTERFACE_OUTPUT_CHANNEL>(3), 0, 0);
    KvxStdoutCapture capture;
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_ERROR, LOG_ATTRIBUT_NONE, "m");
    EXPECT_EQ(capture.Finish(), Date() + " - " + Time() + " m\n");
}

TEST_F(ConsoleLog, LevelsAboveTheThresholdAreDropped) {
    ILogInterface log;
    KvxStdoutCapture capture;
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_DEBUG, LOG_ATTRIBUT_NONE, "4 passes");
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_TRACE, LOG_ATTRIBUT_NONE, "5 dropped");
    log.SetOutputLevel(LOG_LEVEL_ERROR);
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_WARNING, LOG_ATTRIBUT_NONE, "2 dropped");
    log.Output(LOG_CHANNEL_CONSOLE, static_cast<ENUM_LOG_INTERFACE_OUTPUT_LEVEL>(-3),
               LOG_ATTRIBUT_NONE, "-3 passes");
    log.Output(0, LOG_LEVEL_ALWAYS, LOG_ATTRIBUT_NONE, "mask 0 prints nothing");
    log.Output(LOG_CHANNEL_FILE, LOG_LEVEL_ALWAYS, LOG_ATTRIBUT_NONE, "no file is open");
    EXPECT_EQ(capture.Finish(), "4 passes\n-3 passes\n");
}

TEST_F(ConsoleLog, MessageIsNotAlteredOnEitherChannel) {
    KvxTempDir dir;
    ILogInterface log;
    log.EnableDateTime(LOG_CHANNEL_FILE, 0, 0);
    ASSERT_EQ(log.SetLogfile(dir.NFile("c.log").c_str(), 0), kvx_error_none);
    KvxStdoutCapture capture;
    log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_INFO, LOG_ATTRIBUT_NONE, "ends in LF \n");
    EXPECT_EQ(capture.Finish(), "ends in LF \n\n");
    log.CloseLogFile();
    EXPECT_EQ(KvxReadFile(dir.File("c.log")), "ends in LF \n\n");
}

TEST_F(ConsoleLog, TerminalLinesAreColouredAndAlwaysRestored) {
    if (!KvxStdoutCapture::Supported(KvxStdoutCapture::kTerminal)) {
        GTEST_SKIP() << "no pseudo-terminal here";
    }
    KvxStdoutCapture capture(KvxStdoutCapture::kTerminal);
    ILogInterface log;  // made while standard output is a terminal: default attributes 0x07
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_BRIGHT_RED, "red");
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_NONE, "plain");
    log.EnableColorOutput(0);
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_GREEN, "off");
    EXPECT_EQ(capture.Finish(), "\x1b[0;91;49mred\n\x1b[0m"
                                "plain\n\x1b[0m"
                                "off\n\x1b[0m");
}

TEST_F(ConsoleLog, RedirectedOutputGetsNoColourSequences) {
    KvxStdoutCapture capture;
    ILogInterface log;
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_BRIGHT_RED, "red");
    EXPECT_EQ(capture.Finish(), "red\n");
}

TEST_F(ConsoleLog, CallerHeldLockKeepsLinesTogether) {
    ILogInterface log;
    KvxStdoutCapture capture;
    {
        std::lock_guard<std::mutex> hold(log.GetGlobalLock());
        log.OutputNoLock(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_NONE, "one");
        log.OutputNoLock(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_NONE, "two");
    }
    log.Output(LOG_CHANNEL_CONSOLE, LOG_LEVEL_INFO, LOG_ATTRIBUT_NONE, "three");
    EXPECT_EQ(capture.Finish(), "one\ntwo\nthree\n");
}

TEST_F(ConsoleLog, ThreadsWriteWholeLinesOnBothChannels) {
    KvxTempDir dir;
    ILogInterface log;
    log.EnableDateTime(LOG_CHANNEL_CONSOLE, 1, 1);
    ASSERT_EQ(log.SetLogfile(dir.NFile("c.log").c_str(), 0), kvx_error_none);
    constexpr int kThreads = 4;
    constexpr int kLines = 400;
    KvxStdoutCapture capture;
    std::vector<std::thread> writers;
    for (int w = 0; w < kThreads; ++w) {
        writers.emplace_back([&log, w] {
            for (int i = 0; i < kLines; ++i) {
                log.Output(LOG_CHANNEL_BOTH, LOG_LEVEL_INFO, LOG_ATTRIBUT_CYAN, "w%d line %d %s", w,
                           i, "payload payload payload");
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const std::string console = capture.Finish();
    log.CloseLogFile();
    for (const std::string& text : {console, KvxReadFile(dir.File("c.log"))}) {
        const auto lines = Lines(text);
        ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
        int next[kThreads] = {};
        for (const std::string& line : lines) {
            const size_t at = line.find(" w");
            ASSERT_NE(at, std::string::npos) << line;
            const int w = line[at + 2] - '0';
            ASSERT_TRUE(w >= 0 && w < kThreads) << line;
            ASSERT_EQ(line.substr(at), " w" + std::to_string(w) + " line " +
                                           std::to_string(next[w]) + " payload payload payload");
            ++next[w];
        }
    }
}

}  // namespace
