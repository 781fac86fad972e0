// simple_wide_format.cpp: the direct formatter for simple wide formats.
#include "platform/posix/simple_wide_format.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace {

// Appends to the caller's buffer while there is room for the text and its terminator, and
// counts every character as if the room were unlimited.
class Output {
public:
    Output(wchar_t* buffer, size_t count) : _buffer(buffer), _count(count) {}

    void Append(const wchar_t* text, size_t length) {
        if (_count != 0 && _length < _count - 1) {
            const size_t room = _count - 1 - _length;
            std::wmemcpy(_buffer + _length, text, length < room ? length : room);
        }
        _length += length;
    }
    void Terminate() {
        if (_count != 0) {
            _buffer[_length < _count - 1 ? _length : _count - 1] = L'\0';
        }
    }
    size_t Length() const { return _length; }

private:
    wchar_t* _buffer;
    size_t _count;
    size_t _length = 0;
};

// Writes `value` in base `base` (10 or 16, upper or lower case digits) before `end`; returns
// the first digit.
wchar_t* Digits(unsigned long long value, unsigned base, bool upper, wchar_t* end) {
    // Each base has a loop of its own: dividing by a constant is a multiplication and a shift,
    // by a variable a division instruction, which costs more than everything else per digit.
    if (base == 10) {
        do {
            *--end = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        return end;
    }
    const char* const digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        *--end = static_cast<wchar_t>(digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return end;
}

// The size prefix of a conversion, as the full path reads it.
enum class Prefix { None, L, W, LL, I64, I32 };

Prefix ReadPrefix(const wchar_t*& p) {
    if (p[0] == L'l' && p[1] == L'l') {
        p += 2;
        return Prefix::LL;
    }
    if (p[0] == L'l' || p[0] == L'w') {
        return *p++ == L'l' ? Prefix::L : Prefix::W;
    }
    if (p[0] == L'I' && (p[1] == L'6' || p[1] == L'3') && p[2] == (p[1] == L'6' ? L'4' : L'2')) {
        p += 3;
        return p[-2] == L'6' ? Prefix::I64 : Prefix::I32;
    }
    return Prefix::None;
}

// One conversion at `p` (just past its "%"); advances `p` past it. False for anything this
// formatter does not do.
bool Convert(const wchar_t*& p, va_list& args, Output& out) {
    const Prefix prefix = ReadPrefix(p);
    const wchar_t conversion = *p++;
    switch (conversion) {
    case L'd':
    case L'i':
    case L'u':
    case L'x':
    case L'X': {
        if (prefix == Prefix::W) {
            return false;
        }
        const bool wide = prefix == Prefix::L;
        const bool longLong = prefix == Prefix::LL || prefix == Prefix::I64;
        unsigned long long magnitude = 0;
        bool negative = false;
        if (conversion == L'd' || conversion == L'i') {
            const long long value = longLong ? va_arg(args, long long)
                                    : wide   ? va_arg(args, long)
                                             : va_arg(args, int);
            negative = value < 0;
            // Negated in unsigned arithmetic, so the most negative value stays defined.
            magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                 : static_cast<unsigned long long>(value);
        } else {
            magnitude = longLong ? va_arg(args, unsigned long long)
                        : wide   ? va_arg(args, unsigned long)
                                 : va_arg(args, unsigned int);
        }
        wchar_t digits[24];
        wchar_t* const end = digits + 24;
        wchar_t* first = Digits(magnitude, conversion == L'x' || conversion == L'X' ? 16 : 10,
                                conversion == L'X', end);
        if (negative) {
            *--first = L'-';
        }
        out.Append(first, static_cast<size_t>(end - first));
        return true;
    }
    case L's': {
        if (prefix != Prefix::None && prefix != Prefix::L && prefix != Prefix::W) {
            return false;
        }
        const wchar_t* text = va_arg(args, const wchar_t*);
        if (text == nullptr) {
            return false;  // the full path decides how a null string reads
        }
        out.Append(text, std::wcslen(text));
        return true;
    }
    case L'c': {
        if (prefix != Prefix::None && prefix != Prefix::L && prefix != Prefix::W) {
            return false;
        }
        const wchar_t c = static_cast<wchar_t>(va_arg(args, wint_t));
        if (c == L'\0') {
            return false;
        }
        out.Append(&c, 1);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

bool KvxFormatSimpleWide(wchar_t* buffer, size_t count, const wchar_t* format, va_list args,
                         int* result) {
    va_list mine;
    va_copy(mine, args);
    Output out(buffer, count);
    bool simple = true;
    for (const wchar_t* p = format; simple && *p != L'\0';) {
        const wchar_t* const percent = std::wcschr(p, L'%');
        const size_t literal =
            percent != nullptr ? static_cast<size_t>(percent - p) : std::wcslen(p);
        out.Append(p, literal);
        if (percent == nullptr) {
            break;
        }
        p = percent + 1;
        if (*p == L'%') {
            out.Append(p, 1);
            ++p;
        } else {
            simple = Convert(p, mine, out);
        }
    }
    va_end(mine);
    if (!simple || out.Length() > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    out.Terminate();
    *result = static_cast<int>(out.Length());
    return true;
}
