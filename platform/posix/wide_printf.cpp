// wide_printf.cpp: KvxFormatWideV/KvxFormatNarrowV on glibc.
//
// glibc's wide printf reads %s and %c as narrow, the reverse of the Windows runtime, so the
// format is rewritten first (%s -> %ls, %S -> %s, ...). Narrow text is converted with the
// thread's LC_CTYPE, so the call runs under a C.UTF-8 locale: the ANSI code page off Windows
// is UTF-8 whatever the process locale is. glibc's vswprintf returns -1 on overflow without
// measuring, so an overflowing text is measured in a scratch buffer that grows.
#include "platform/posix/simple_wide_format.h"
#include "platform/runtime/runtime_api.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <locale.h>
#include <vector>

namespace {

// The UTF-8 character type for the duration of one call; falls back to the thread's own
// locale if the system has no UTF-8 locale at all.
locale_t Utf8Locale() {
    static const locale_t utf8 = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) {
                return l;
            }
        }
        return static_cast<locale_t>(nullptr);
    }();
    return utf8;
}

class ScopedUtf8 {
public:
    ScopedUtf8() : _old(Utf8Locale() ? uselocale(Utf8Locale()) : static_cast<locale_t>(nullptr)) {}
    ~ScopedUtf8() {
        if (_old != nullptr) {
            uselocale(_old);
        }
    }
    ScopedUtf8(const ScopedUtf8&) = delete;
    ScopedUtf8& operator=(const ScopedUtf8&) = delete;

private:
    locale_t _old;
};

template <typename Char> bool IsFlagOrWidth(Char c) {
    return c == Char('-') || c == Char('+') || c == Char(' ') || c == Char('#') || c == Char('0') ||
           c == Char('\'') || c == Char('.') || c == Char('*') ||
           (c >= Char('1') && c <= Char('9'));
}

// Rewrites one format from the Windows runtime's conventions into glibc's. `wide` selects the
// meaning of an unprefixed %s/%c (wide in wide formats, narrow in narrow ones).
// `out` has room for 2 * length + 1 characters: no conversion more than doubles.
template <typename Char> void RewriteFormat(const Char* format, bool wide, Char* out) {
    const Char* p = format;
    while (*p != Char(0)) {
        if (*p != Char('%')) {
            *out++ = *p++;
            continue;
        }
        *out++ = *p++;
        if (*p == Char('%')) {
            *out++ = *p++;
            continue;
        }
        while (IsFlagOrWidth(*p) || (*p >= Char('0') && *p <= Char('9'))) {
            *out++ = *p++;
        }
        // Size prefix: 0 none, 'h' narrow, 'l' wide, or another one copied as it stands.
        char size = 0;
        if (*p == Char('I') && p[1] == Char('6') && p[2] == Char('4')) {
            *out++ = Char('l');
            *out++ = Char('l');
            p += 3;
        } else if (*p == Char('I') && p[1] == Char('3') && p[2] == Char('2')) {
            p += 3;
        } else if (*p == Char('I')) {
            *out++ = Char('z');
            ++p;
        } else if (*p == Char('h') && (p[1] == Char('s') || p[1] == Char('S') ||
                                       p[1] == Char('c') || p[1] == Char('C'))) {
            size = 'h';
            ++p;
        } else if ((*p == Char('l') || *p == Char('w')) &&
                   (p[1] == Char('s') || p[1] == Char('S') || p[1] == Char('c') ||
                    p[1] == Char('C'))) {
            size = 'l';
            ++p;
        }
        const Char conv = *p;
        if (conv == Char('s') || conv == Char('S') || conv == Char('c') || conv == Char('C')) {
            const bool upper = conv == Char('S') || conv == Char('C');
            const bool isWide = size == 'l' || (size == 0 && (wide != upper));
            if (isWide) {
                *out++ = Char('l');
            }
            *out++ = conv == Char('s') || conv == Char('S') ? Char('s') : Char('c');
            ++p;
        }
        // Any other conversion character is copied by the loop.
    }
    *out = Char(0);
}

// A rewritten format, in a stack buffer for the usual short formats.
template <typename Char> class Rewritten {
public:
    Rewritten(const Char* format, size_t length, bool wide) {
        Char* out = _local;
        if (2 * length + 1 > kLocal) {
            _heap.resize(2 * length + 1);
            out = _heap.data();
        }
        RewriteFormat(format, wide, out);
        _text = out;
    }
    Rewritten(const Rewritten&) = delete;
    Rewritten& operator=(const Rewritten&) = delete;
    const Char* c_str() const { return _text; }

private:
    static constexpr size_t kLocal = 256;
    Char _local[kLocal];
    std::vector<Char> _heap;
    const Char* _text = nullptr;
};

int CallPrintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
    return vswprintf(buffer, count, format, args);
}
int CallPrintf(char* buffer, size_t count, const char* format, va_list args) {
    return vsnprintf(buffer, count, format, args);
}

// Formats the rewritten format under the UTF-8 locale with the rules of KvxFormatWideV.
template <typename Char>
int FormatRewritten(Char* buffer, size_t count, const Char* format, va_list args) {
    ScopedUtf8 utf8;
    va_list again;
    va_copy(again, args);
    Char probe[1];
    Char* target = count > 0 ? buffer : probe;
    const size_t room = count > 0 ? count : 1;
    errno = 0;
    int result = CallPrintf(target, room, format, args);
    if constexpr (sizeof(Char) == 1) {
        // vsnprintf measures by itself: it returns the full length even when cut.
        va_end(again);
        if (result < 0) {
            target[0] = Char(0);
            return -1;
        }
        return result;
    } else {
        if (result >= 0) {
            va_end(again);
            return result;
        }
        if (errno != 0) {  // not an overflow: the text cannot be formatted
            target[0] = Char(0);
            va_end(again);
            return -1;
        }
        // Overflow: glibc cut the text but may not have terminated it. Measure it in a growing
        // scratch buffer.
        target[room - 1] = Char(0);
        std::vector<Char> scratch;
        size_t size = room < 256 ? 512 : room * 2;
        for (;;) {
            scratch.resize(size);
            va_list attempt;
            va_copy(attempt, again);
            errno = 0;
            result = CallPrintf(scratch.data(), size, format, attempt);
            va_end(attempt);
            if (result >= 0 || errno != 0 || size > size_t(INT_MAX) / 2) {
                break;
            }
            size *= 2;
        }
        va_end(again);
        if (result < 0) {
            target[0] = Char(0);
            return -1;
        }
        return result;
    }
}

}  // namespace

int KvxFormatWideV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
    if (format == nullptr || (buffer == nullptr && count > 0)) {
        return -1;
    }
    int simple = 0;
    if (KvxFormatSimpleWide(buffer, count, format, args, &simple)) {
        return simple;
    }
    const Rewritten<wchar_t> rewritten(format, std::wcslen(format), true);
    return FormatRewritten(buffer, count, rewritten.c_str(), args);
}

int KvxFormatNarrowV(char* buffer, size_t count, const char* format, va_list args) {
    if (format == nullptr || (buffer == nullptr && count > 0)) {
        return -1;
    }
    const Rewritten<char> rewritten(format, std::strlen(format), false);
    return FormatRewritten(buffer, count, rewritten.c_str(), args);
}
