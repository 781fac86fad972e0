// wide_printf.cpp: KvxFormatWideV/KvxFormatNarrowV on Windows.
//
// With mingw, libstdc++ forces the C99 printf family, whose wide %s is narrow. The underscore
// functions always come from the Windows runtime (msvcrt) and keep its conventions, so the wide
// formatting goes through _vsnwprintf and _vscwprintf. _vsnwprintf returns -1 when the text
// does not fit and leaves it unterminated, so a cut text is terminated here and measured.
#include "platform/runtime/runtime_api.h"

#include <stdio.h>
#include <wchar.h>

int KvxFormatWideV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
    if (format == nullptr || (buffer == nullptr && count > 0)) {
        return -1;
    }
    if (count == 0) {
        return _vscwprintf(format, args);
    }
    va_list again;
    va_copy(again, args);
    int result = _vsnwprintf(buffer, count, format, args);
    if (result < 0 || static_cast<size_t>(result) >= count) {
        buffer[count - 1] = L'\0';
        result = _vscwprintf(format, again);
        if (result < 0) {
            buffer[0] = L'\0';
        }
    }
    va_end(again);
    return result;
}

int KvxFormatNarrowV(char* buffer, size_t count, const char* format, va_list args) {
    if (format == nullptr || (buffer == nullptr && count > 0)) {
        return -1;
    }
    const int result = vsnprintf(buffer, count, format, args);
    if (result < 0 && count > 0) {
        buffer[0] = '\0';
    }
    return result;
}
