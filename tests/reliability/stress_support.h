// stress_support.h: what the stress tests share: their duration, a watchdog that fails a run
// that stops making progress, a small random generator and the figures line each test prints.
#pragma once

#include <stdint.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// How long each stress test runs its load: KVX_STRESS_SECONDS (a positive number, fractions
// allowed), 2 s when it is unset or not a positive number.
double StressSeconds();

// The load phase of one test: Running() is true until the duration has passed.
class StressClock {
public:
    StressClock();
    bool Running() const { return std::chrono::steady_clock::now() < _end; }
    double Elapsed() const;

private:
    std::chrono::steady_clock::time_point _start;
    std::chrono::steady_clock::time_point _end;
};

// Ends the process with a message and exit code 3 when the test it guards has not finished
// within the stress duration plus a grace time (KVX_STRESS_GRACE_SECONDS, default 120 s, for
// draining queues and checking under sanitizers and Wine). A deadlocked run thus fails with the
// phase it was stuck in instead of hanging until the test driver's timeout.
class StressWatchdog {
public:
    explicit StressWatchdog(const char* test);
    // The same with the limit given in seconds instead of taken from the environment.
    StressWatchdog(const char* test, double limitSeconds);
    ~StressWatchdog();
    StressWatchdog(const StressWatchdog&) = delete;
    StressWatchdog& operator=(const StressWatchdog&) = delete;

    // Names what the test is doing now; the message of a stuck run shows it. `phase` must be a
    // string literal (or otherwise live to the end of the test).
    void Phase(const char* phase) { _phase.store(phase); }

private:
    void Watch(std::chrono::steady_clock::time_point deadline);

    const char* _test;
    std::atomic<const char*> _phase;
    std::mutex _lock;
    std::condition_variable _done;
    bool _finished = false;
    std::thread _thread;
};

// xorshift64*: quick, and the same sequence on every platform for a seed.
class StressRandom {
public:
    explicit StressRandom(uint64_t seed) : _state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t Next() {
        _state ^= _state >> 12;
        _state ^= _state << 25;
        _state ^= _state >> 27;
        return _state * 0x2545F4914F6CDD1DULL;
    }
    // A number in [0, bound); bound > 0.
    uint64_t Below(uint64_t bound) { return Next() % bound; }

private:
    uint64_t _state;
};

// The sum of the threads' tallies: a Tally is a number or has operator+=.
template <class Tally, size_t N> Tally SumOf(const std::array<Tally, N>& tallies) {
    Tally sum{};
    for (const Tally& tally : tallies) {
        sum += tally;
    }
    return sum;
}

// Prints "[stress] <test>: <seconds> s, name=value, ..." on standard output and records the
// figures as test properties, so a run's log and its XML report both carry them.
void StressReport(const char* test, double seconds,
                  const std::vector<std::pair<std::string, uint64_t>>& figures);
