// date_time_format.cpp: GetDateFormatEx and GetTimeFormatEx with the picture language of the
// invariant locale.
#include "platform/posix/calendar.h"
#include "platform/win32.h"

#include <cwchar>
#include <time.h>

namespace {

const wchar_t* const kDayNames[7] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                     L"Thursday", L"Friday", L"Saturday"};
const wchar_t* const kDayAbbreviations[7] = {L"Sun", L"Mon", L"Tue", L"Wed",
                                             L"Thu", L"Fri", L"Sat"};
const wchar_t* const kMonthNames[12] = {L"January",   L"February", L"March",    L"April",
                                        L"May",       L"June",     L"July",     L"August",
                                        L"September", L"October",  L"November", L"December"};
const wchar_t* const kMonthAbbreviations[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

constexpr DWORD kDateLayoutFlags = DATE_SHORTDATE | DATE_LONGDATE | DATE_YEARMONTH | DATE_MONTHDAY;
constexpr DWORD kDateFlags = kDateLayoutFlags | DATE_USE_ALT_CALENDAR | DATE_LTRREADING |
                             DATE_RTLREADING | DATE_AUTOLAYOUT | LOCALE_NOUSEROVERRIDE |
                             LOCALE_USE_CP_ACP;
constexpr DWORD kTimeFlags = TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER |
                             TIME_FORCE24HOURFORMAT | LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP;

// Counts every character and stores those that fit, so one pass both measures and writes.
class Sink {
public:
    Sink(wchar_t* buffer, size_t capacity) : _buffer(buffer), _capacity(capacity) {}

    void Put(wchar_t c) {
        if (_length < _capacity) {
            _buffer[_length] = c;
        }
        ++_length;
    }
    void Put(const wchar_t* text) {
        while (*text != L'\0') {
            Put(*text++);
        }
    }
    void Number(unsigned value, int minDigits) {
        wchar_t digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n < minDigits) {
            digits[n++] = L'0';
        }
        while (n > 0) {
            Put(digits[--n]);
        }
    }
    size_t Length() const { return _length; }
    void Rewind(size_t length) { _length = length; }

    // Finishes the call: the size query, the written count, or 0 with 122.
    int Finish(int cch) {
        if (_length + 1 > static_cast<size_t>(INT32_MAX)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        if (cch == 0) {
            return static_cast<int>(_length + 1);
        }
        if (_length + 1 > static_cast<size_t>(cch)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        _buffer[_length] = L'\0';
        return static_cast<int>(_length + 1);
    }

private:
    wchar_t* _buffer;
    size_t _capacity;
    size_t _length = 0;
};

bool IsKnownLocale(LPCWSTR name) {
    return name == nullptr || name[0] == L'\0' || std::wcscmp(name, L"!x-sys-default-locale") == 0;
}

// Literal text in single quotes: called on the opening quote, returns the position after the
// closing one. '' inside the quotes is one quote; an unterminated quote runs to the end.
const wchar_t* CopyQuoted(const wchar_t* p, Sink& out) {
    ++p;
    while (*p != L'\0') {
        if (*p == L'\'') {
            if (p[1] != L'\'') {
                return p + 1;
            }
            out.Put(L'\'');
            p += 2;
            continue;
        }
        out.Put(*p++);
    }
    return p;
}

size_t RunLength(const wchar_t* p) {
    size_t n = 1;
    while (p[n] == p[0]) {
        ++n;
    }
    return n;
}

void FormatDatePicture(const wchar_t* picture, const SYSTEMTIME& date, Sink& out) {
    const int64_t days = kvx_calendar::DaysFromCivil(date.wYear, date.wMonth, date.wDay);
    const unsigned weekday = kvx_calendar::DayOfWeek(days);
    const wchar_t* p = picture;
    while (*p != L'\0') {
        const wchar_t c = *p;
        if (c == L'\'') {
            p = CopyQuoted(p, out);
            continue;
        }
        if (c != L'd' && c != L'M' && c != L'y' && c != L'g') {
            out.Put(*p++);
            continue;
        }
        const size_t n = RunLength(p);
        p += n;
        switch (c) {
        case L'd':
            if (n <= 2) {
                out.Number(date.wDay, static_cast<int>(n));
            } else {
                out.Put(n == 3 ? kDayAbbreviations[weekday] : kDayNames[weekday]);
            }
            break;
        case L'M':
            if (n <= 2) {
                out.Number(date.wMonth, static_cast<int>(n));
            } else {
                out.Put(n == 3 ? kMonthAbbreviations[date.wMonth - 1]
                               : kMonthNames[date.wMonth - 1]);
            }
            break;
        case L'y':
            if (n <= 2) {
                out.Number(date.wYear % 100u, 2);
            } else {
                out.Number(date.wYear, 1);
            }
            break;
        default:  // g: the era, once per letter
            for (size_t i = 0; i < n; ++i) {
                out.Put(L"AD");
            }
            break;
        }
    }
}

void FormatTimePicture(const wchar_t* picture, DWORD flags, const SYSTEMTIME& time, Sink& out) {
    // A dropped field takes the separator before it along: the text goes back to the end of
    // the last field written.
    size_t lastFieldEnd = 0;
    const wchar_t* p = picture;
    while (*p != L'\0') {
        wchar_t c = *p;
        if (c == L'\'') {
            p = CopyQuoted(p, out);
            continue;
        }
        if (c != L'h' && c != L'H' && c != L'm' && c != L's' && c != L't') {
            out.Put(*p++);
            continue;
        }
        const size_t n = RunLength(p);
        p += n;
        const int digits = n >= 2 ? 2 : 1;
        if (c == L'h' && (flags & TIME_FORCE24HOURFORMAT) != 0) {
            c = L'H';
        }
        const bool dropped = ((c == L'm' || c == L's') && (flags & TIME_NOMINUTESORSECONDS) != 0) ||
                             (c == L's' && (flags & TIME_NOSECONDS) != 0) ||
                             (c == L't' && (flags & TIME_NOTIMEMARKER) != 0);
        if (dropped) {
            out.Rewind(lastFieldEnd);
            continue;
        }
        switch (c) {
        case L'h':
            out.Number(time.wHour % 12 == 0 ? 12u : time.wHour % 12u, digits);
            break;
        case L'H':
            out.Number(time.wHour, digits);
            break;
        case L'm':
            out.Number(time.wMinute, digits);
            break;
        case L's':
            out.Number(time.wSecond, digits);
            break;
        default:  // t
            out.Put(time.wHour < 12 ? L'A' : L'P');
            if (digits == 2) {
                out.Put(L'M');
            }
            break;
        }
        lastFieldEnd = out.Length();
    }
}

bool IsValidDate(const SYSTEMTIME& date) {
    return date.wYear >= 1601 && date.wYear <= 30828 && date.wMonth >= 1 && date.wMonth <= 12 &&
           date.wDay >= 1 && date.wDay <= kvx_calendar::DaysInMonth(date.wYear, date.wMonth);
}

bool IsValidTime(const SYSTEMTIME& time) {
    return time.wHour <= 23 && time.wMinute <= 59 && time.wSecond <= 59 &&
           time.wMilliseconds <= 999;
}

SYSTEMTIME LocalNow() {
    const time_t now = ::time(nullptr);
    tm fields{};
    localtime_r(&now, &fields);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(fields.tm_year + 1900);
    st.wMonth = static_cast<WORD>(fields.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    st.wDay = static_cast<WORD>(fields.tm_mday);
    st.wHour = static_cast<WORD>(fields.tm_hour);
    st.wMinute = static_cast<WORD>(fields.tm_min);
    st.wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
    return st;
}

int Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

}  // namespace

int GetDateFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* date, LPCWSTR format,
                    LPWSTR dateText, int cchDate, LPCWSTR calendar) {
    if (cchDate < 0 || (dateText == nullptr && cchDate != 0) || !IsKnownLocale(localeName) ||
        calendar != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD layout = flags & kDateLayoutFlags;
    if ((flags & ~kDateFlags) != 0 || (layout & (layout - 1)) != 0 ||
        (format != nullptr && (layout != 0 || (flags & LOCALE_NOUSEROVERRIDE) != 0))) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const SYSTEMTIME when = date != nullptr ? *date : LocalNow();
    if (!IsValidDate(when)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (format == nullptr) {
        format = layout == DATE_LONGDATE    ? L"dddd, dd MMMM yyyy"
                 : layout == DATE_YEARMONTH ? L"yyyy MMMM"
                 : layout == DATE_MONTHDAY  ? L"MMMM dd"
                                            : L"MM/dd/yyyy";
    }
    Sink out(dateText, static_cast<size_t>(cchDate));
    FormatDatePicture(format, when, out);
    return out.Finish(cchDate);
}

int GetTimeFormatEx(LPCWSTR localeName, DWORD flags, const SYSTEMTIME* time, LPCWSTR format,
                    LPWSTR timeText, int cchTime) {
    if (cchTime < 0 || (timeText == nullptr && cchTime != 0) || !IsKnownLocale(localeName)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & ~kTimeFlags) != 0 || (format != nullptr && (flags & LOCALE_NOUSEROVERRIDE) != 0)) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const SYSTEMTIME when = time != nullptr ? *time : LocalNow();
    if (!IsValidTime(when)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Sink out(timeText, static_cast<size_t>(cchTime));
    FormatTimePicture(format != nullptr ? format : L"HH:mm:ss", flags, when, out);
    return out.Finish(cchTime);
}
