// alloc_injection.h: counts the heap allocations of one thread and makes the n-th one fail,
// for the allocation-failure tests.
//
// Every allocation goes through here: operator new and delete in all their forms are
// replaced in the test program (alloc_injection.cpp), and the library's raw blocks (8-bit text
// buffers, Concurrency::Alloc, LocalAlloc off Windows) are watched through the raw heap
// observer. While a thread is armed its allocations are numbered from 1; number `failAt`
// fails as if memory had run out (operator new throws std::bad_alloc, the nothrow forms and
// the raw heap return null). Blocks taken while armed are remembered until they are returned,
// on any thread, so a test can see that nothing was left behind.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>

namespace kvx_alloc {

// Arms the calling thread until the object dies or Disarm is called.
class Armed {
public:
    explicit Armed(uint64_t failAt);
    ~Armed();
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
    // Stops counting; true when the failure was injected.
    bool Disarm();

private:
    bool _armed = true;
};

// What one armed run of an operation came to.
struct Outcome {
    bool injected = false;  // the failure was injected
    bool threw = false;     // std::bad_alloc left the operation
};

// Runs `operation` armed with `failAt`, catching std::bad_alloc. Any other exception that
// leaves the operation is caught too and fails the test, after the thread is disarmed.
template <class Operation> Outcome RunArmed(uint64_t failAt, Operation&& operation) {
    Outcome outcome;
    bool other = false;
    Armed armed(failAt);
    try {
        operation();
    } catch (const std::bad_alloc&) {
        outcome.threw = true;
    } catch (...) {
        other = true;
    }
    outcome.injected = armed.Disarm();
    EXPECT_FALSE(other) << "an exception other than std::bad_alloc, failing allocation " << failAt;
    return outcome;
}

// Blocks taken while armed that are not yet returned.
size_t LiveBlocks();
// Allocations the last armed stretch counted.
uint64_t LastCount();

// The failure sweep: calls attempt(n) for n = 1, 2, ... until an attempt reports that its
// failure was not injected (the operation got all the memory it asked for). Each attempt
// sets up, arms with n, runs the operation, disarms, checks and tears down. After every
// attempt no block of it may be left. Returns the number of failure points tried, which it
// also prints under `name` for the reliability report.
template <class Attempt>
uint64_t Sweep(const char* name, Attempt attempt, uint64_t limit = 100000) {
    uint64_t failAt = 1;
    for (; failAt <= limit; ++failAt) {
        const bool injected = attempt(failAt);
        EXPECT_EQ(LiveBlocks(), 0u) << "blocks left behind after failing allocation " << failAt;
        if (!injected || ::testing::Test::HasFailure()) {
            break;
        }
    }
    EXPECT_LE(failAt, limit) << "the operation never completed";
    std::printf("[ figures  ] %s: %llu allocation failure points\n", name,
                static_cast<unsigned long long>(failAt - 1));
    ::testing::Test::RecordProperty("failure_points", static_cast<int>(failAt - 1));
    return failAt - 1;
}

}  // namespace kvx_alloc
