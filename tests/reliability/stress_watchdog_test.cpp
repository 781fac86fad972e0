// stress_watchdog_test.cpp: the stress tests' watchdog ends a run that does not finish in
// time, with exit code 3 and the phase it was stuck in, and leaves a run that finishes alone.
#include "stress_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(StressWatchdog, EndsAStuckRunWithItsPhase) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            StressWatchdog watchdog("stuck test", 0.2);
            watchdog.Phase("waiting for itself");
            std::this_thread::sleep_for(std::chrono::minutes(2));  // stuck
        },
        ::testing::ExitedWithCode(3),
        "stuck test did not finish in time; stuck in phase \"waiting for itself\"");
}

TEST(StressWatchdog, LeavesARunThatFinishesInTime) {
    const auto start = std::chrono::steady_clock::now();
    {
        StressWatchdog watchdog("quick test", 60);
        watchdog.Phase("load");
    }
    // Its destructor does not wait out the limit.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
