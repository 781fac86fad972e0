// api_nls.h: the POSIX layer's WideCharToMultiByte, GetDateFormatEx, GetTimeFormatEx,
// FormatMessageW.
#pragma once

#include "kvx/win32_types.h"

#include <stdarg.h>

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

// --- Conversion to 8-bit text (platform/posix/text_conversion.cpp) ----------------------------
// Off Windows the ANSI code page is UTF-8.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u
#define WC_ERR_INVALID_CHARS 0x00000080u
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// Converts `wideCount` characters of `wide` (-1, or any negative count: up to and including
// its terminator) to UTF-8
// for CP_ACP, CP_OEMCP, CP_THREAD_ACP and CP_UTF8. A character that has no UTF-8 form (a
// surrogate value, or above U+10FFFF) becomes U+FFFD, or for the ANSI code pages the first
// byte of `defaultChar` when one is given, which also sets *usedDefaultChar; with
// WC_ERR_INVALID_CHARS the call fails with 1113 instead. With multiByteCount 0 returns the
// bytes needed (with the terminator when wideCount is -1); otherwise writes them and returns
// the count. Too small a buffer: 0 with last error 122, the buffer filled with the whole
// characters that fit and no terminator. 0 with 87: wideCount 0, a null source, a
// negative size, a null buffer with a nonzero size, another code page, or default-character
// arguments with CP_UTF8. 0 with 1004: flags other than WC_ERR_INVALID_CHARS.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, BOOL* usedDefaultChar);

// --- System messages (platform/posix/message_text.cpp) ---------------------------------------
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((((WORD)(sub)) << 10) | (WORD)(primary))

// FORMAT_MESSAGE_FROM_SYSTEM only: the library's own one-line English text for the codes the
// layer produces, one sentence ending in a period, then CR LF (no CR LF with the
// FORMAT_MESSAGE_MAX_WIDTH_MASK width). Returns the count of characters without the
// terminator. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is the address of a pointer that
// receives a LocalAlloc block (release it with LocalFree); otherwise the text goes into
// `buffer` of `size` characters (0 with 122 when it does not fit). An unknown code returns 0
// with last error 317 and the pointer set to null; other sources give 0 with 87. The language
// is ignored. Inserts are never expanded.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);
