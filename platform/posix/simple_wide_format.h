// simple_wide_format.h: a direct formatter for the wide formats hosts use most, ahead of the C
// library's wide printf.
//
// glibc's wide printf costs several thousand instructions for a short line; loggers format one
// per line. Formats made only of literal text and the conversions below are formatted here,
// with the results the full path gives; anything else is left to it.
//
//   %%                               a percent sign
//   %d %i %u %x %X                   int, or long with l, long long with ll or I64, int with I32
//   %s %ls %ws                       a wide string (not null)
//   %c %lc %wc                       a wide character (not zero)
//
// No flags, widths or precisions.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats like KvxFormatWideV (same buffer, cut and return rules) when `format` and the
// argument values are of the kinds above, storing the length in *result and returning true.
// Returns false, with `args` untouched and the buffer's contents unspecified, for anything
// else (including a null string or a zero character, and texts longer than INT_MAX
// characters); the caller then formats with the full path.
bool KvxFormatSimpleWide(wchar_t* buffer, size_t count, const wchar_t* format, va_list args,
                         int* result);
