// stress_support.cpp: duration, watchdog and figures of the stress tests.
#include "stress_support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

double PositiveNumberFromEnvironment(const char* name, double fallback) {
    const char* text = getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const double value = strtod(text, &end);
    return (end != nullptr && *end == '\0' && value > 0 && value < 1e6) ? value : fallback;
}

std::chrono::steady_clock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

}  // namespace

double StressSeconds() {
    return PositiveNumberFromEnvironment("KVX_STRESS_SECONDS", 2.0);
}

StressClock::StressClock()
    : _start(std::chrono::steady_clock::now()), _end(_start + Seconds(StressSeconds())) {}

double StressClock::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - _start).count();
}

StressWatchdog::StressWatchdog(const char* test)
    : StressWatchdog(test, StressSeconds() +
                               PositiveNumberFromEnvironment("KVX_STRESS_GRACE_SECONDS", 120.0)) {}

StressWatchdog::StressWatchdog(const char* test, double limitSeconds)
    : _test(test), _phase("starting") {
    const auto deadline = std::chrono::steady_clock::now() + Seconds(limitSeconds);
    _thread = std::thread([this, deadline] { Watch(deadline); });
}

StressWatchdog::~StressWatchdog() {
    {
        std::lock_guard<std::mutex> guard(_lock);
        _finished = true;
    }
    _done.notify_all();
    _thread.join();
}

void StressWatchdog::Watch(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(_lock);
    if (_done.wait_until(guard, deadline, [this] { return _finished; })) {
        return;
    }
    // Stuck threads may hold any lock, so nothing here may wait: print and leave at once.
    fprintf(stderr, "\n[stress] watchdog: %s did not finish in time; stuck in phase \"%s\"\n",
            _test, _phase.load());
    fflush(stderr);
    fflush(stdout);
    _Exit(3);
}

void StressReport(const char* test, double seconds,
                  const std::vector<std::pair<std::string, uint64_t>>& figures) {
    std::string line = "[stress] " + std::string(test) + ": " + std::to_string(seconds) + " s";
    for (const auto& [name, value] : figures) {
        line += ", " + name + "=" + std::to_string(value);
        ::testing::Test::RecordProperty(name, std::to_string(value));
    }
    printf("%s\n", line.c_str());
    fflush(stdout);
}
