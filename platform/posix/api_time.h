// api_time.h: the POSIX layer's GetSystemTimeAsFileTime, GetTimeZoneInformation and
// FileTimeToSystemTime.
#pragma once

#include "kvx/win32_types.h"

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)

// The raw system clock (CLOCK_REALTIME) on the FILETIME scale. Library code reads the clock
// through KvxGetSystemTimeAsFileTime (platform/clock.h), which tests can shift.
void GetSystemTimeAsFileTime(LPFILETIME fileTime);

// Fills `info` from the C library's zone rules for the current year (TZ honoured: it is read
// afresh on every call). Bias is minutes west of UTC for standard time (TZ=UTC-1 gives -60);
// zones with daylight saving fill the transition dates in the rule form (wYear 0, wDay the
// occurrence of the weekday in the month, 5 meaning the last), StandardBias 0 and DaylightBias
// the extra minutes (-60 for a one-hour shift). Returns TIME_ZONE_ID_UNKNOWN (0) for a zone
// without daylight saving, else TIME_ZONE_ID_STANDARD (1) or TIME_ZONE_ID_DAYLIGHT (2) for the
// rule in force now. A null `info`: TIME_ZONE_ID_INVALID with last error 87.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);

// The calendar fields of a FILETIME (sub-millisecond ticks are dropped). Counts of 2^63 and
// above cannot be converted: FALSE, last error 87, `systemTime` untouched.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// The reverse, for years 1601 to 30828 with every field in range (wDayOfWeek is ignored);
// otherwise FALSE with last error 87 and `fileTime` untouched.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
