// logging_bench.cpp: lines per second of the traffic log (LogMessage) and the severity log
// (LogFormat), both with date and time on, beside spdlog's basic_file_sink and beside the floor
// of their unbuffered design: the same bytes written with the same number of write calls per
// line, with nothing formatted.
#include "kvx/logging.h"

#include <benchmark/benchmark.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kLines = 1000000;
constexpr char kMessage[] = "RX id=4711 len=32 payload=0123456789abcdef0123456789abcdef";

std::string TempFile(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("kvx-bench-") + std::to_string(getpid()) + "-" + name))
        .string();
}

// Writes each piece of a line with its own write call, as the loggers do.
void WriteFloor(benchmark::State& state, const std::vector<std::string>& pieces) {
    const std::string path = TempFile("floor.log");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (auto _ : state) {
        for (const std::string& piece : pieces) {
            benchmark::DoNotOptimize(write(fd, piece.data(), piece.size()));
        }
    }
    close(fd);
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations());
}

void TrafficLogKvx(benchmark::State& state) {
    const std::string path = TempFile("traffic.log");
    std::filesystem::remove(path);
    ILogFileInterface log;
    log.SetLogfile(path.c_str(), 0);
    for (auto _ : state) {
        kvx_datetime now(kvx_dt_utc_now);
        log.LogMessage(0, LOG_DIRECTION_IN, kMessage, sizeof kMessage - 1, now, 0);
    }
    log.CloseLogFile();
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations());
}

// The traffic line's pieces: date, "-", time and blank, marker, message, line end.
void TrafficLogFloor(benchmark::State& state) {
    WriteFloor(state, {"12/06/2026", "-", "13:45:07.123 ", "<- ", kMessage, "\n"});
}

void TrafficLogSpdlog(benchmark::State& state) {
    const std::string path = TempFile("spdlog-traffic.log");
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true);
    spdlog::logger logger("traffic", sink);
    logger.set_pattern("%m/%d/%Y-%H:%M:%S.%e <- %v");
    for (auto _ : state) {
        logger.info(kMessage);
    }
    logger.flush();
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations());
}

void SeverityLogKvx(benchmark::State& state) {
    const std::string path = TempFile("severity");
    std::filesystem::remove(path + ".log");
    CQVLogSystem log;
    log.ShowDate(1);
    log.ShowTime(1);
    log.CreateLogSystem(std::wstring(path.begin(), path.end()).c_str(), 1);
    int i = 0;
    for (auto _ : state) {
        log.LogFormat(LOG_SEVERITY_LEVEL_INFO, L"request %d served in %d us", ++i, 250);
    }
    std::filesystem::remove(path + ".log");
    state.SetItemsProcessed(state.iterations());
}

// The severity line's pieces: date, " - ", time, ": ", message, CR LF.
void SeverityLogFloor(benchmark::State& state) {
    WriteFloor(state, {"2026.12.06", " - ", "13:45:07.123", ": ",
                       "request 1000000 served in 250 us", "\r\n"});
}

void SeverityLogSpdlog(benchmark::State& state) {
    const std::string path = TempFile("spdlog-severity.log");
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, true);
    spdlog::logger logger("severity", sink);
    logger.set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%Y.%m.%d - %H:%M:%S.%e: %v", spdlog::pattern_time_type::utc, "\r\n"));
    int i = 0;
    for (auto _ : state) {
        logger.info("request {} served in {} us", ++i, 250);
    }
    logger.flush();
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(TrafficLogKvx)->Name("TrafficLog/kvx")->Iterations(kLines);
BENCHMARK(TrafficLogFloor)->Name("TrafficLog/floor: one write per piece")->Iterations(kLines);
BENCHMARK(TrafficLogSpdlog)->Name("TrafficLog/spdlog")->Iterations(kLines);
BENCHMARK(SeverityLogKvx)->Name("SeverityLog/kvx")->Iterations(kLines);
BENCHMARK(SeverityLogFloor)->Name("SeverityLog/floor: one write per piece")->Iterations(kLines);
BENCHMARK(SeverityLogSpdlog)->Name("SeverityLog/spdlog")->Iterations(kLines);

BENCHMARK_MAIN();
