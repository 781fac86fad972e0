// api_nls.h: the POSIX layer's WideCharToMultiByte, GetDateFormatEx, GetTimeFormatEx,
// FormatMessageW.
#pragma once

#include "kvx/win32_types.h"

// --- Date and time formats ------------------------------------------------------------------
// Off Windows there is one locale, the invariant one: English names, short date MM/dd/yyyy,
// long date "dddd, dd MMMM yyyy", year-month "yyyy MMMM", month-day "MMMM dd", time HH:mm:ss.
// It answers to a null locale name (the user's default), "" (invariant) and
// LOCALE_NAME_SYSTEM_DEFAULT; any other name gives 0 with last error 87.
#define LOCALE_NAME_USER_DEFAULT NULL
#define LOCALE_NAME_INVARIANT L""
#define LOCALE_NAME_SYSTEM_DEFAULT L"!x-sys-default-locale"

#define LOCALE_NOUSEROVERRIDE 0x80000000u
#define LOCALE_USE_CP_ACP 0x40000000u

#define DATE_SHORTDATE 0x00000001u
#define DATE_LONGDATE 0x00000002u
#define DATE_USE_ALT_CALENDAR 0x00000004u
#define DATE_YEARMONTH 0x00000008u
#define DATE_LTRREADING 0x00000010u
#define DATE_RTLREADING 0x00000020u
#define DATE_AUTOLAYOUT 0x00000040u
#define DATE_MONTHDAY 0x00000080u

#define TIME_NOMINUTESORSECONDS 0x00000001u
#define TIME_NOSECONDS 0x00000002u
#define TIME_NOTIMEMARKER 0x00000004u
#define TIME_FORCE24HOURFORMAT 0x00000008u

// Formats the date of `date` (null: today, local time) by `format`, a picture in which d, dd,
// ddd, dddd (day, two digits, short and long weekday name; more d count as four), M..MMMM
// (month likewise), y and yy (two-digit year), yyy and more (the full year) and g (the era,
// "AD" per g) are replaced; text in single quotes is literal ('' inside quotes is one quote)
// and so is every other character. A null format takes the locale's layout for the flags
// (none or DATE_SHORTDATE, DATE_LONGDATE, DATE_YEARMONTH, DATE_MONTHDAY).
// With cchDate 0 returns the size needed in characters including the terminator; otherwise
// writes the text and returns the same count. Failures return 0 with the last error: 87 for a
// negative size, a null buffer with a nonzero size, an unknown locale, a non-null calendar or a
// date outside 1601-01-01..30828-12-31 or not in the calendar; 1004 for unknown flags, two
// layouts at once, or a layout flag (or LOCALE_NOUSEROVERRIDE) with a picture; 122 when the
// text does not fit. wDayOfWeek is ignored.
int GetDateFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* date, LPCWSTR format,
                    LPWSTR dateText, int cchDate, LPCWSTR calendar);

// The same for times: h, hh (12-hour clock), H, HH (24-hour), m, mm, s, ss, t (A or P) and tt
// (AM or PM); three or more of a letter count as two. TIME_NOSECONDS, TIME_NOMINUTESORSECONDS
// and TIME_NOTIMEMARKER drop those fields with the separator before them, also from a given
// picture; TIME_FORCE24HOURFORMAT makes h act as H. A time with hour > 23, minute or second
// > 59 or milliseconds > 999 gives 87; the date fields are not examined.
int GetTimeFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* time, LPCWSTR format,
                    LPWSTR timeText, int cchTime);
