// win32_layout_checks.h: the sizes and layouts of the Win32 types in kvx's headers. On Windows
// these checks hold the numbers against the real <windows.h>; on Linux they hold kvx's own
// declarations (kvx/win32_types.h) to the same numbers, so structures can cross the two.
#pragma once

#include "kvx/foundation.h"
#include "kvx/win32_types.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(sizeof(BYTE) == 1 && sizeof(WORD) == 2);
static_assert(sizeof(DWORD) == 4 && std::is_unsigned_v<DWORD>);
static_assert(sizeof(LONG) == 4 && std::is_signed_v<LONG>);
static_assert(sizeof(BOOL) == 4 && sizeof(UINT) == 4 && sizeof(INT) == 4);
static_assert(sizeof(ULONGLONG) == 8 && sizeof(LONGLONG) == 8);
static_assert(sizeof(WPARAM) == sizeof(void*) && std::is_unsigned_v<WPARAM>);
static_assert(sizeof(LPARAM) == sizeof(void*) && std::is_signed_v<LPARAM>);
static_assert(sizeof(LRESULT) == sizeof(void*) && std::is_signed_v<LRESULT>);
static_assert(sizeof(ULONG_PTR) == sizeof(void*) && sizeof(SIZE_T) == sizeof(void*));
static_assert(sizeof(HANDLE) == sizeof(void*) && sizeof(HWND) == sizeof(void*));

static_assert(sizeof(FILETIME) == 8 && offsetof(FILETIME, dwHighDateTime) == 4);
static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(offsetof(SYSTEMTIME, wDayOfWeek) == 4 && offsetof(SYSTEMTIME, wDay) == 6);
static_assert(offsetof(SYSTEMTIME, wMilliseconds) == 14);
// Names are WCHAR arrays, and WCHAR is wchar_t: 2 bytes on Windows (172 in all), 4 on Linux.
static_assert(sizeof(TIME_ZONE_INFORMATION) == 44 + 64 * sizeof(WCHAR));
static_assert(offsetof(TIME_ZONE_INFORMATION, StandardDate) == 4 + 32 * sizeof(WCHAR));
static_assert(offsetof(TIME_ZONE_INFORMATION, DaylightName) == 24 + 32 * sizeof(WCHAR));
static_assert(offsetof(TIME_ZONE_INFORMATION, DaylightBias) == 40 + 64 * sizeof(WCHAR));
static_assert(sizeof(LARGE_INTEGER) == 8);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24);
static_assert(sizeof(SRWLOCK) == 8);
static_assert(sizeof(CRITICAL_SECTION) == 40 && offsetof(CRITICAL_SECTION, SpinCount) == 32);
static_assert(sizeof(POINT) == 8);
static_assert(sizeof(MSG) == 48 && offsetof(MSG, wParam) == 16 && offsetof(MSG, time) == 32);
static_assert(offsetof(MSG, pt) == 36);
static_assert(WM_USER == 0x400 && TRUE == 1 && FALSE == 0);

static_assert(std::is_same_v<std::underlying_type_t<kvx_error>, int32_t>);
static_assert(kvx_error_none == 0 && kvx_error_file_open == 32);
