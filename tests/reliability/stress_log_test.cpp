// stress_log_test.cpp: the loggers under eight writer threads for the stress duration, while
// another thread moves the clock on by a day every 25 ms so daily files roll over under load.
// Afterwards every file is read back: each line written must be there exactly once and whole
// (its stamp, marker and message intact, nothing of another line inside), nothing else.
#include "stress_support.h"

#include "kvx/logging.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kThreads = 8;
constexpr int64_t kTicksPerDay = 864000000000LL;

// The message of line `sequence` of `thread`: "@<thread>#<sequence>:" and 0..40 letters.
std::string Message(int thread, uint64_t sequence) {
    char head[48];
    snprintf(head, sizeof head, "@%d#%llu:", thread, static_cast<unsigned long long>(sequence));
    std::string text = head;
    const size_t filler = static_cast<size_t>((sequence * 7 + static_cast<uint64_t>(thread)) % 41);
    for (size_t i = 0; i < filler; ++i) {
        text += static_cast<char>('a' + (sequence + i) % 26);
    }
    return text;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Moves the library's clock on by a day every 25 ms while it lives; back to 0 at the end.
class DayShifter {
public:
    DayShifter()
        : _thread([this] {
              while (!_stop.load()) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(25));
                  KvxSetClockShift(KvxGetClockShift() + kTicksPerDay);
                  ++_days;
              }
          }) {}
    ~DayShifter() { Stop(); }
    DayShifter(const DayShifter&) = delete;
    DayShifter& operator=(const DayShifter&) = delete;
    // Ends the shifting and puts the clock back; returns the days moved on.
    uint64_t Stop() {
        if (_thread.joinable()) {
            _stop.store(true);
            _thread.join();
            KvxSetClockShift(0);
        }
        return _days;
    }

private:
    std::atomic<bool> _stop{false};
    uint64_t _days = 0;
    std::thread _thread;
};

// The lines each thread wrote, and which of them were found.
class Ledger {
public:
    explicit Ledger(const std::array<uint64_t, kThreads>& written) : _written(written) {
        for (size_t t = 0; t < kThreads; ++t) {
            _seen[t].assign(written[t], false);
        }
    }

    // Accounts for one line (without its line end) of a file: it must end in a whole message
    // of a written line not seen before, after a prefix without another message in it. Sets
    // the prefix, thread and sequence; false, counted as broken or duplicated, otherwise.
    bool Account(const std::string& line, std::string* prefix, int* thread, uint64_t* sequence) {
        const size_t at = line.find('@');
        if (at == std::string::npos || line.find('!') != std::string::npos) {
            return Broken(line);
        }
        const size_t hash = line.find('#', at);
        const size_t colon = line.find(':', at);
        if (hash == std::string::npos || colon == std::string::npos || hash > colon ||
            hash - at < 2 || colon - hash < 2 || hash - at > 3 || colon - hash > 21) {
            return Broken(line);
        }
        for (size_t i = at + 1; i < colon; ++i) {
            if (i != hash && (line[i] < '0' || line[i] > '9')) {
                return Broken(line);
            }
        }
        const unsigned long t = std::stoul(line.substr(at + 1, hash - at - 1));
        const unsigned long long s = std::stoull(line.substr(hash + 1, colon - hash - 1));
        if (t >= kThreads || s >= _written[t] ||
            line.compare(at, std::string::npos, Message(static_cast<int>(t), s)) != 0) {
            return Broken(line);
        }
        if (_seen[t][s]) {
            ++duplicated;
            return false;
        }
        _seen[t][s] = true;
        ++found;
        *prefix = line.substr(0, at);
        *thread = static_cast<int>(t);
        *sequence = s;
        return true;
    }

    uint64_t Missing() const {
        uint64_t missing = 0;
        for (const std::vector<bool>& seen : _seen) {
            missing += static_cast<uint64_t>(std::count(seen.begin(), seen.end(), false));
        }
        return missing;
    }

    uint64_t found = 0;
    uint64_t broken = 0;
    uint64_t duplicated = 0;

private:
    bool Broken(const std::string& line) {
        if (broken++ < 5) {
            ADD_FAILURE() << "broken line: \"" << line << "\"";
        }
        return false;
    }

    std::array<uint64_t, kThreads> _written;
    std::array<std::vector<bool>, kThreads> _seen;
};

// The files of the folder whose names start with `prefix`, sorted by name (for dated files,
// by day).
std::vector<fs::path> FilesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Splits a file into lines ended by `ending`; a last piece without it counts as broken.
std::vector<std::string> Lines(const fs::path& file, const std::string& ending, Ledger& ledger) {
    const std::string bytes = KvxReadFile(file);
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = bytes.find(ending, start);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + ending.size();
    }
    if (start != bytes.size()) {
        ++ledger.broken;
        ADD_FAILURE() << file << " ends in a part of a line";
    }
    return lines;
}

// Runs `write(thread, sequence)` on eight threads for the stress duration; returns the lines
// each wrote.
template <class Write> std::array<uint64_t, kThreads> RunWriters(Write write) {
    std::array<uint64_t, kThreads> written{};
    const StressClock clock;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            uint64_t sequence = 0;
            while (clock.Running()) {
                write(t, sequence++);
            }
            written[static_cast<size_t>(t)] = sequence;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return written;
}

void ExpectAllAccountedFor(const Ledger& ledger) {
    EXPECT_EQ(ledger.broken, 0u);
    EXPECT_EQ(ledger.duplicated, 0u);
    EXPECT_EQ(ledger.Missing(), 0u);
}

// The figures of a daily log shared by all writers.
void ReportDailyLog(const char* name, const std::array<uint64_t, kThreads>& written,
                    const Ledger& ledger, uint64_t files, uint64_t days) {
    StressReport(name, StressSeconds(),
                 {{"lines_written", SumOf(written)},
                  {"lines_found", ledger.found},
                  {"daily_files", files},
                  {"days_moved", days},
                  {"lost", ledger.Missing()},
                  {"broken_or_duplicated", ledger.broken + ledger.duplicated}});
}

TEST(Stress, TrafficLogLinesArriveOnceAndWholeAcrossDayChanges) {
    StressWatchdog watchdog("traffic log");
    KvxTempDir dir;
    ILogFileInterface log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("traffic").c_str(), 1), kvx_error_none);
    watchdog.Phase("load");
    DayShifter shifter;
    const std::array<uint64_t, kThreads> written = RunWriters([&](int t, uint64_t sequence) {
        // Bytes past the length must not be written.
        const std::string message = Message(t, sequence);
        const std::string data = message + "@X";
        kvx_datetime now(kvx_dt_utc_now);
        log.LogMessage(0, (sequence & 1) != 0 ? LOG_DIRECTION_OUT : LOG_DIRECTION_IN, data.c_str(),
                       message.size(), now, 0);
    });
    const uint64_t days = shifter.Stop();
    log.CloseLogFile();

    watchdog.Phase("checking");
    Ledger ledger(written);
    const std::vector<fs::path> files = FilesStartingWith(dir.path(), "traffic-");
    EXPECT_GT(files.size(), 1u);
    for (const fs::path& file : files) {
        for (const std::string& line : Lines(file, "\n", ledger)) {
            std::string prefix;
            int t = 0;
            uint64_t sequence = 0;
            if (ledger.Account(line, &prefix, &t, &sequence)) {
                const char* marker = (sequence & 1) != 0 ? "-> " : "<- ";
                if (prefix.size() < 3 || prefix.compare(prefix.size() - 3, 3, marker) != 0) {
                    ++ledger.broken;
                    ADD_FAILURE() << "wrong marker: \"" << line << "\"";
                }
            }
        }
    }
    ExpectAllAccountedFor(ledger);
    ReportDailyLog("traffic log", written, ledger, files.size(), days);
}

TEST(Stress, ConsolePrinterFileChannelLinesArriveOnceAndWhole) {
    StressWatchdog watchdog("console printer file channel");
    KvxTempDir dir;
    ILogInterface log;
    ASSERT_EQ(log.SetLogfile(dir.NFile("printer.log").c_str(), 0), kvx_error_none);
    std::atomic<uint64_t> filtered{0};
    watchdog.Phase("load");
    const std::array<uint64_t, kThreads> written = RunWriters([&](int t, uint64_t sequence) {
        if (sequence % 16 == 15) {
            // Above the output level: must not reach the file.
            log.Output(LOG_CHANNEL_FILE, LOG_LEVEL_TRACE, LOG_ATTRIBUT_NONE, "!%d", t);
            ++filtered;
        }
        const auto level = static_cast<ENUM_LOG_INTERFACE_OUTPUT_LEVEL>(sequence % 5);
        log.Output(LOG_CHANNEL_FILE, level, LOG_ATTRIBUT_RED, "%s", Message(t, sequence).c_str());
    });
    log.CloseLogFile();

    watchdog.Phase("checking");
    Ledger ledger(written);
    for (const std::string& line : Lines(dir.File("printer.log"), "\n", ledger)) {
        std::string prefix;
        int t = 0;
        uint64_t sequence = 0;
        ledger.Account(line, &prefix, &t, &sequence);
    }
    ExpectAllAccountedFor(ledger);
    StressReport("console printer file channel", StressSeconds(),
                 {{"lines_written", SumOf(written)},
                  {"lines_found", ledger.found},
                  {"lines_filtered_by_level", filtered.load()},
                  {"lost", ledger.Missing()},
                  {"broken_or_duplicated", ledger.broken + ledger.duplicated}});
}

void OpenDailySeverityLog(CQVLogSystem& log, const std::wstring& path) {
    log.NewFileEachDay();
    log.ShowDate(1);
    log.ShowTime(1);
    log.CreateLogSystem(path.c_str(), 0);
}

// Severity lines end in CR LF and carry ": " before the message.
void AccountSeverityLine(const std::string& line, Ledger& ledger, int* thread, uint64_t* sequence) {
    std::string prefix;
    if (ledger.Account(line, &prefix, thread, sequence) &&
        (prefix.size() < 2 || prefix.compare(prefix.size() - 2, 2, ": ") != 0)) {
        ++ledger.broken;
        ADD_FAILURE() << "no separator: \"" << line << "\"";
    }
}

TEST(Stress, SeverityLogsOnePerThreadKeepEveryLineInOrderAcrossDayChanges) {
    StressWatchdog watchdog("severity logs, one per thread");
    KvxTempDir dir;
    std::array<uint64_t, kThreads> written{};
    uint64_t days = 0;
    {
        std::vector<std::unique_ptr<CQVLogSystem>> logs;
        for (int t = 0; t < kThreads; ++t) {
            logs.push_back(std::make_unique<CQVLogSystem>());
            OpenDailySeverityLog(*logs.back(), dir.WFile("own" + std::to_string(t)));
        }
        watchdog.Phase("load");
        DayShifter shifter;
        written = RunWriters([&](int t, uint64_t sequence) {
            logs[static_cast<size_t>(t)]->LogFormat(LOG_SEVERITY_LEVEL_INFO, L"%s",
                                                    Widen(Message(t, sequence)).c_str());
        });
        days = shifter.Stop();
    }

    watchdog.Phase("checking");
    Ledger ledger(written);
    uint64_t files = 0;
    uint64_t outOfOrder = 0;
    for (int t = 0; t < kThreads; ++t) {
        uint64_t next = 0;
        for (const fs::path& file :
             FilesStartingWith(dir.path(), "own" + std::to_string(t) + "-")) {
            ++files;
            for (const std::string& line : Lines(file, "\r\n", ledger)) {
                int thread = 0;
                uint64_t sequence = 0;
                AccountSeverityLine(line, ledger, &thread, &sequence);
                outOfOrder += thread == t && sequence == next ? 0 : 1;
                next = sequence + 1;
            }
        }
    }
    ExpectAllAccountedFor(ledger);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_GT(files, static_cast<uint64_t>(kThreads));
    StressReport(
        "severity logs, one per thread", StressSeconds(),
        {{"lines_written", SumOf(written)},
         {"lines_found", ledger.found},
         {"daily_files", files},
         {"days_moved", days},
         {"lost", ledger.Missing()},
         {"broken_duplicated_or_out_of_order", ledger.broken + ledger.duplicated + outOfOrder}});
}

TEST(Stress, SeverityLogSharedBehindTheCallersLockKeepsEveryLine) {
    StressWatchdog watchdog("severity log, shared");
    KvxTempDir dir;
    std::array<uint64_t, kThreads> written{};
    uint64_t days = 0;
    {
        CQVLogSystem log;
        std::mutex lock;  // the object is single-threaded: its users serialise their calls
        OpenDailySeverityLog(log, dir.WFile("shared"));
        watchdog.Phase("load");
        DayShifter shifter;
        written = RunWriters([&](int t, uint64_t sequence) {
            const std::wstring message = Widen(Message(t, sequence));
            std::lock_guard<std::mutex> guard(lock);
            log.LogFormat(LOG_SEVERITY_LEVEL_WARNING, L"%s", message.c_str());
        });
        days = shifter.Stop();
    }

    watchdog.Phase("checking");
    Ledger ledger(written);
    const std::vector<fs::path> files = FilesStartingWith(dir.path(), "shared-");
    EXPECT_GT(files.size(), 1u);
    for (const fs::path& file : files) {
        for (const std::string& line : Lines(file, "\r\n", ledger)) {
            int thread = 0;
            uint64_t sequence = 0;
            AccountSeverityLine(line, ledger, &thread, &sequence);
        }
    }
    ExpectAllAccountedFor(ledger);
    ReportDailyLog("severity log, shared", written, ledger, files.size(), days);
}

}  // namespace
