// clock_shift.h: KvxClockShift, the library's clock moved for one test.
#pragma once

#include "platform/clock.h"

#include <cstdint>

// Moves the library's clock by `ticks` (100 ns each) while it lives; back to 0 at the end of
// the test, also a failed one.
class KvxClockShift {
public:
    explicit KvxClockShift(int64_t ticks) { KvxSetClockShift(ticks); }
    ~KvxClockShift() { KvxSetClockShift(0); }
    KvxClockShift(const KvxClockShift&) = delete;
    KvxClockShift& operator=(const KvxClockShift&) = delete;
};
