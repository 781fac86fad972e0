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
