// runtime_api.h: runtime pieces that neither glibc nor mingw supply, declared for both:
// the caching sub-allocator Concurrency::Alloc/Free and the Microsoft-convention wide printf.
#pragma once

#include <stdarg.h>
#include <stddef.h>

// --- Caching sub-allocator (platform/runtime/caching_alloc.cpp) ---------------------------
namespace Concurrency {
// Returns a block of at least `bytes` bytes, aligned for any fundamental type. Blocks of up to
// a few KiB are served from a small per-thread cache of freed blocks of the same size class,
// so repeated allocate/free pairs of similar sizes avoid the heap. Throws std::bad_alloc when
// no memory is left. Any thread may free a block that another thread allocated.
void* Alloc(size_t bytes);
// Returns a block from Alloc to the cache (or the heap when the cache is full). Null does
// nothing.
void Free(void* block);
}  // namespace Concurrency

// --- Microsoft-convention printf (platform/{posix,win}/wide_printf.cpp) --------------------
// Conventions on every platform, as in the Windows runtime: in a wide format %s and %c take
// wide arguments and %S and %C narrow ones; %hs/%hc are always narrow and %ls/%lc always wide.
// Narrow arguments of wide formats are read as the ANSI code page (UTF-8 off Windows, whatever
// the process locale). The size prefixes I64 and I32 are understood as well.
//
// KvxFormatWideV writes the formatted text into `buffer`, which holds `count` characters
// including the terminator (buffer may be null when count is 0: a pure measurement).
// Returns, like C99 vsnprintf:
//   >= 0  the length of the complete formatted text in characters, without the terminator,
//         as if the room were unlimited. If it is less than count, the whole text and its
//         terminator were written; otherwise the text was cut to count - 1 characters and
//         terminated (when count > 0).
//   -1    the text cannot be formatted (a narrow argument that is not valid text, a bad
//         conversion). When count > 0 the buffer then holds the empty text.
// `args` is consumed; va_copy it first to format the same arguments again. Thread-safe.
int KvxFormatWideV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);

// The same for 8-bit text with narrow formats (%s narrow, %S and %ls wide; wide arguments are
// converted to the ANSI code page). Same return rules, in bytes.
int KvxFormatNarrowV(char* buffer, size_t count, const char* format, va_list args);
