// system_time.cpp: FileTimeToSystemTime and SystemTimeToFileTime.
#include "platform/posix/calendar.h"
#include "platform/win32.h"

using namespace kvx_calendar;

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const uint64_t ticks =
        uint64_t(fileTime->dwLowDateTime) | (uint64_t(fileTime->dwHighDateTime) << 32);
    if (ticks >> 63 != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
    const uint64_t inDay = ticks % kTicksPerDay;
    const CivilDate date = CivilFromDays(days);
    systemTime->wYear = static_cast<WORD>(date.year);
    systemTime->wMonth = static_cast<WORD>(date.month);
    systemTime->wDayOfWeek = static_cast<WORD>(DayOfWeek(days));
    systemTime->wDay = static_cast<WORD>(date.day);
    systemTime->wHour = static_cast<WORD>(inDay / (3600 * kTicksPerSecond));
    systemTime->wMinute = static_cast<WORD>(inDay / (60 * kTicksPerSecond) % 60);
    systemTime->wSecond = static_cast<WORD>(inDay / kTicksPerSecond % 60);
    systemTime->wMilliseconds = static_cast<WORD>(inDay / kTicksPerMillisecond % 1000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME fileTime) {
    if (st == nullptr || fileTime == nullptr || st->wYear < 1601 || st->wYear > 30828 ||
        st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59 || st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const uint64_t days = static_cast<uint64_t>(DaysFromCivil(st->wYear, st->wMonth, st->wDay));
    const uint64_t ticks = days * kTicksPerDay +
                           ((st->wHour * 60u + st->wMinute) * 60u + st->wSecond) * kTicksPerSecond +
                           st->wMilliseconds * kTicksPerMillisecond;
    if (ticks >> 63 != 0) {  // past 30828-09-14 02:48:05.477
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}
