// clock.h: the one door through which the library reads the system clock.
//
// Every read of the current time in kvx goes through KvxGetSystemTimeAsFileTime, which is
// GetSystemTimeAsFileTime plus a shift. Tests move the shift to make the clock jump forward
// or back; it is 0 unless a test sets it. Thread-safe: the shift is an atomic value.
#pragma once

#include "kvx/win32_types.h"

#include <stdint.h>

// The current UTC time on the FILETIME scale (100-ns ticks since 1601-01-01), shifted.
void KvxGetSystemTimeAsFileTime(LPFILETIME fileTime);

// The same as a tick count.
uint64_t KvxNowTicks();

// Sets the shift in ticks (may be negative) that every later clock read adds.
void KvxSetClockShift(int64_t ticks);
int64_t KvxGetClockShift();
