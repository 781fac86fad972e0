// datetime_bench.cpp: the date and time texts of kvx_datetime beside what a host would
// otherwise write: gmtime_r + strftime (+ snprintf for the milliseconds), and the same with
// wcsftime + swprintf, making the same text ("2026.03.05", "07:08:09.010") from the same
// instants. Also the cost of taking the current time as a UTC and as a local value.
//
// The instants are 1024 tick counts spread over ten years with varied milliseconds, taken in
// turn, so no run formats one value over and over.
#include "kvx/foundation.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <vector>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 on the FILETIME scale
constexpr size_t kInstants = 1024;

struct Instant {
    uint64_t ticks;
    time_t seconds;  // the same instant for the C library
    int milliseconds;
};

const std::vector<Instant>& Instants() {
    static const std::vector<Instant> instants = [] {
        std::vector<Instant> out;
        uint64_t seed = 0x9E3779B97F4A7C15ULL;
        const uint64_t start = 134171680890100000ULL;  // 2026-03-05 07:08:09.010
        for (size_t i = 0; i < kInstants; ++i) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            const uint64_t ticks = start + (seed >> 11) % (3650ULL * 864000000000ULL);
            out.push_back({ticks, static_cast<time_t>((ticks - kUnixEpochTicks) / kTicksPerSecond),
                           static_cast<int>(ticks % kTicksPerSecond / 10000)});
        }
        return out;
    }();
    return instants;
}

void KvxFormatDate(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    kvx_datetime value;
    for (auto _ : state) {
        value.ticks = instants[i++ % kInstants].ticks;
        CWideString text = value.FormatDate(L"yyyy.MM.dd");
        benchmark::DoNotOptimize(text.GetBuffer());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(KvxFormatDate)->Name("FormatDate/kvx");

void StrftimeDate(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    char text[32];
    for (auto _ : state) {
        tm fields{};
        gmtime_r(&instants[i++ % kInstants].seconds, &fields);
        strftime(text, sizeof(text), "%Y.%m.%d", &fields);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(StrftimeDate)->Name("FormatDate/strftime");

void WcsftimeDate(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    wchar_t text[32];
    for (auto _ : state) {
        tm fields{};
        gmtime_r(&instants[i++ % kInstants].seconds, &fields);
        wcsftime(text, 32, L"%Y.%m.%d", &fields);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(WcsftimeDate)->Name("FormatDate/wcsftime");

void KvxFormatTimeWithMilliseconds(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    kvx_datetime value;
    for (auto _ : state) {
        value.ticks = instants[i++ % kInstants].ticks;
        CWideString text = value.FormatTime(L"HH:mm:ss", L".%03d");
        benchmark::DoNotOptimize(text.GetBuffer());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(KvxFormatTimeWithMilliseconds)->Name("FormatTimeMs/kvx");

void StrftimeSnprintfTimeWithMilliseconds(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    char text[32];
    for (auto _ : state) {
        const Instant& instant = instants[i++ % kInstants];
        tm fields{};
        gmtime_r(&instant.seconds, &fields);
        const size_t n = strftime(text, sizeof(text), "%H:%M:%S", &fields);
        snprintf(text + n, sizeof(text) - n, ".%03d", instant.milliseconds);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(StrftimeSnprintfTimeWithMilliseconds)->Name("FormatTimeMs/strftime+snprintf");

void WcsftimeSwprintfTimeWithMilliseconds(benchmark::State& state) {
    const auto& instants = Instants();
    size_t i = 0;
    wchar_t text[32];
    for (auto _ : state) {
        const Instant& instant = instants[i++ % kInstants];
        tm fields{};
        gmtime_r(&instant.seconds, &fields);
        const size_t n = wcsftime(text, 32, L"%H:%M:%S", &fields);
        swprintf(text + n, 32 - n, L".%03d", instant.milliseconds);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(WcsftimeSwprintfTimeWithMilliseconds)->Name("FormatTimeMs/wcsftime+swprintf");

void KvxUtcNow(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(kvx_datetime(kvx_dt_utc_now).ticks);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(KvxUtcNow)->Name("UtcNow/kvx");

void KvxLocalNow(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(kvx_datetime(kvx_dt_local_now).ticks);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(KvxLocalNow)->Name("LocalNow/kvx");

void ClockGettimeLocaltime(benchmark::State& state) {
    for (auto _ : state) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm fields{};
        localtime_r(&now.tv_sec, &fields);
        benchmark::DoNotOptimize(fields.tm_gmtoff);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(ClockGettimeLocaltime)->Name("LocalNow/clock_gettime+localtime_r");

// The same with the zone re-read first, as kvx does for every local value so that a change of
// the zone shows at once.
void TzsetClockGettimeLocaltime(benchmark::State& state) {
    for (auto _ : state) {
        tzset();
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm fields{};
        localtime_r(&now.tv_sec, &fields);
        benchmark::DoNotOptimize(fields.tm_gmtoff);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(TzsetClockGettimeLocaltime)->Name("LocalNow/tzset+clock_gettime+localtime_r");

}  // namespace

BENCHMARK_MAIN();
