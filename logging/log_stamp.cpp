// log_stamp.cpp: date and time texts of log lines, made once per second and thread.
#include "logging/log_stamp.h"

#include "platform/win32.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kTicksPerMillisecond = 10000ULL;

struct StampCache {
    uint64_t second = UINT64_MAX;  // ticks / kTicksPerSecond of the cached texts
    bool hasDate = false;
    bool hasTime = false;
    bool timeFailed = false;  // the time text is "NaT", which takes no fraction
    char date[32] = {};
    char time[32] = {};
    size_t timeLength = 0;
};

thread_local StampCache t_cache;

int NarrowFormat(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = KvxFormatNarrowV(out, size, format, args);
    va_end(args);
    return result;
}

// Appends ".%03d" of ms (0..999) at `length`, cut to the buffer's size.
void AppendMilliseconds(char* text, size_t length, size_t size, int ms) {
    const char digits[5] = {'.', static_cast<char>('0' + ms / 100),
                            static_cast<char>('0' + ms / 10 % 10), static_cast<char>('0' + ms % 10),
                            '\0'};
    for (size_t i = 0; i < sizeof digits && length + 1 < size; ++i) {
        text[length++] = digits[i];
    }
    text[length < size ? length : size - 1] = '\0';
}

}  // namespace

size_t KvxNarrowText(const wchar_t* text, char* out, size_t size) {
    if (size == 0) {
        return 0;
    }
    // ASCII is the same in every ANSI code page: copy it without the converting printf.
    size_t length = 0;
    const wchar_t* p = text != nullptr ? text : L"";
    while (p[length] != L'\0' && static_cast<unsigned long>(p[length]) < 0x80 &&
           length + 1 < size) {
        out[length] = static_cast<char>(p[length]);
        ++length;
    }
    if (p[length] == L'\0' || length + 1 == size) {
        out[length] = '\0';
        return length;
    }
    if (NarrowFormat(out, size, "%S", p) < 0) {
        out[0] = '\0';
    }
    return std::strlen(out);
}

void KvxMakeLogStamp(const kvx_datetime& time, bool withDate, bool withTime, bool withMilliseconds,
                     KvxLogStamp& stamp) {
    stamp.date[0] = '\0';
    stamp.time[0] = '\0';
    if (time.ticks == 0 || (!withDate && !withTime)) {
        return;  // the empty value formats as empty text, with or without milliseconds
    }
    StampCache& cache = t_cache;
    const uint64_t second = time.ticks / kTicksPerSecond;
    if (cache.second != second) {
        cache.second = second;
        cache.hasDate = false;
        cache.hasTime = false;
    }
    if (withDate) {
        if (!cache.hasDate) {
            KvxNarrowText(time.GetDateText(0).GetText(), cache.date, sizeof cache.date);
            cache.hasDate = true;
        }
        std::memcpy(stamp.date, cache.date, sizeof stamp.date);
    }
    if (withTime) {
        if (!cache.hasTime) {
            // Whole seconds only: the milliseconds are the one part that changes within them.
            kvx_datetime whole;
            whole.ticks = second != 0 ? second * kTicksPerSecond : time.ticks;
            const CWideString text = whole.GetTimeText(0);
            cache.timeLength = KvxNarrowText(text.GetText(), cache.time, sizeof cache.time);
            cache.timeFailed = std::wcscmp(text.GetText(), L"NaT") == 0;
            cache.hasTime = true;
        }
        std::memcpy(stamp.time, cache.time, sizeof stamp.time);
        if (withMilliseconds && !cache.timeFailed) {
            const auto ms = static_cast<int>((time.ticks % kTicksPerSecond) / kTicksPerMillisecond);
            AppendMilliseconds(stamp.time, cache.timeLength, sizeof stamp.time, ms);
        }
    }
}

namespace {

struct PictureCache {
    uint64_t second = UINT64_MAX;
    const wchar_t* datePicture = nullptr;
    const wchar_t* timePicture = nullptr;
    bool hasDate = false;
    bool hasTime = false;
    bool timeFailed = false;
    char date[128] = {};
    char time[128] = {};
    size_t timeLength = 0;
};

thread_local PictureCache t_pictureCache;

int WideFormat(wchar_t* out, size_t size, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = KvxFormatWideV(out, size, format, args);
    va_end(args);
    return result;
}

}  // namespace

void KvxMakePictureStamp(const kvx_datetime& time, const wchar_t* datePicture,
                         const wchar_t* timePicture, const wchar_t* fractionFormat, bool withDate,
                         bool withTime, KvxPictureStamp& stamp) {
    stamp.date[0] = '\0';
    stamp.time[0] = '\0';
    if (time.ticks == 0 || (!withDate && !withTime)) {
        return;
    }
    PictureCache& cache = t_pictureCache;
    const uint64_t second = time.ticks / kTicksPerSecond;
    if (cache.second != second || cache.datePicture != datePicture ||
        cache.timePicture != timePicture) {
        cache.second = second;
        cache.datePicture = datePicture;
        cache.timePicture = timePicture;
        cache.hasDate = false;
        cache.hasTime = false;
    }
    if (withDate) {
        if (!cache.hasDate) {
            KvxNarrowText(time.FormatDate(datePicture).GetText(), cache.date, sizeof cache.date);
            cache.hasDate = true;
        }
        std::memcpy(stamp.date, cache.date, sizeof stamp.date);
    }
    if (withTime) {
        if (!cache.hasTime) {
            kvx_datetime whole;
            whole.ticks = second != 0 ? second * kTicksPerSecond : time.ticks;
            const CWideString text = whole.FormatTime(timePicture, nullptr);
            cache.timeLength = KvxNarrowText(text.GetText(), cache.time, sizeof cache.time);
            cache.timeFailed = std::wcscmp(text.GetText(), L"NaT") == 0;
            cache.hasTime = true;
        }
        std::memcpy(stamp.time, cache.time, sizeof stamp.time);
        if (fractionFormat != nullptr && !cache.timeFailed &&
            std::wcscmp(fractionFormat, L".%03d") == 0) {
            const auto ms = static_cast<int>((time.ticks % kTicksPerSecond) / kTicksPerMillisecond);
            AppendMilliseconds(stamp.time, cache.timeLength, sizeof stamp.time, ms);
        } else if (fractionFormat != nullptr && !cache.timeFailed) {
            wchar_t fraction[64];
            const auto ms = static_cast<int>((time.ticks % kTicksPerSecond) / kTicksPerMillisecond);
            if (WideFormat(fraction, sizeof fraction / sizeof fraction[0], fractionFormat, ms) >=
                0) {
                KvxNarrowText(fraction, stamp.time + cache.timeLength,
                              sizeof stamp.time - cache.timeLength);
            }
        }
    }
}
