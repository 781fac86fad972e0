// Tests of the shiftable clock that every library time read goes through.
#include "platform/win32.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kTicksPerDay = 864000000000ULL;

TEST(Clock, ReadsTheCurrentCentury) {
    // 2000-01-01 and 2200-01-01 on the FILETIME scale.
    const uint64_t now = KvxNowTicks();
    EXPECT_GT(now, 125911584000000000ULL);
    EXPECT_LT(now, 189027648000000000ULL);
}

TEST(Clock, ShiftMovesEveryReadAndResets) {
    const uint64_t before = KvxNowTicks();
    KvxSetClockShift(static_cast<int64_t>(kTicksPerDay));
    FILETIME shifted{};
    KvxGetSystemTimeAsFileTime(&shifted);
    const uint64_t shiftedTicks = shifted.dwLowDateTime | (uint64_t(shifted.dwHighDateTime) << 32);
    EXPECT_GE(shiftedTicks, before + kTicksPerDay);
    EXPECT_LT(shiftedTicks, before + kTicksPerDay + 600000000ULL);  // within a minute

    KvxSetClockShift(-static_cast<int64_t>(kTicksPerDay));
    EXPECT_LT(KvxNowTicks(), before);
    KvxSetClockShift(0);
    EXPECT_GE(KvxNowTicks(), before);
}

}  // namespace
