// datetime.cpp: kvx_datetime, its construction kinds and its date and time texts.
#include "kvx/foundation.h"

#include "platform/win32.h"

namespace {

constexpr uint64_t kTicksPerMinute = 600000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kTicksPerMillisecond = 10000ULL;

uint64_t LocalNowTicks() {
    const uint64_t utc = KvxNowTicks();
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = GetTimeZoneInformation(&zone);
    int64_t bias = zone.Bias;
    if (state == TIME_ZONE_ID_STANDARD) {
        bias += zone.StandardBias;
    } else if (state == TIME_ZONE_ID_DAYLIGHT) {
        bias += zone.DaylightBias;
    } else if (state != TIME_ZONE_ID_UNKNOWN) {
        bias = 0;  // the zone could not be read: UTC
    }
    // UTC = local + bias, so a zone east of Greenwich (negative bias) moves the count forward.
    return utc - static_cast<uint64_t>(bias * static_cast<int64_t>(kTicksPerMinute));
}

bool ToSystemTime(uint64_t ticks, SYSTEMTIME& fields) {
    FILETIME fileTime;
    fileTime.dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return FileTimeToSystemTime(&fileTime, &fields) != FALSE;
}

}  // namespace

kvx_datetime::kvx_datetime(uint32_t kind) : ticks(0) {
    if (kind == kvx_dt_utc_now) {
        ticks = KvxNowTicks();
    } else if (kind == kvx_dt_local_now) {
        ticks = LocalNowTicks();
    }
}

namespace {

CWideString DateText(uint64_t ticks, DWORD flags, const wchar_t* picture) {
    SYSTEMTIME fields{};
    if (ticks == 0 || !ToSystemTime(ticks, fields)) {
        return CWideString(L"");
    }
    const int size = GetDateFormatEx(nullptr, flags, &fields, picture, nullptr, 0, nullptr);
    if (size <= 0) {
        return CWideString(L"");
    }
    CWideString text;
    text.Reserve(static_cast<uint64_t>(size));
    if (GetDateFormatEx(nullptr, flags, &fields, picture, text.GetBuffer(), size, nullptr) <= 0) {
        text.GetBuffer()[0] = L'\0';
    }
    return text;
}

}  // namespace

CWideString kvx_datetime::FormatDate(const wchar_t* picture) const {
    return DateText(ticks, 0, picture);
}

CWideString kvx_datetime::GetDateText(int32_t longFormat) const {
    return DateText(ticks, longFormat != 0 ? DATE_LONGDATE : DATE_SHORTDATE, nullptr);
}

CWideString kvx_datetime::FormatTime(const wchar_t* picture, const wchar_t* fractionFormat) const {
    SYSTEMTIME fields{};
    if (ticks == 0) {
        return CWideString(L"");
    }
    if (!ToSystemTime(ticks, fields)) {
        return CWideString(L"NaT");
    }
    const int size = GetTimeFormatEx(nullptr, 0, &fields, picture, nullptr, 0);
    if (size <= 0) {
        return CWideString(L"NaT");
    }
    CWideString text;
    text.Reserve(static_cast<uint64_t>(size));
    if (GetTimeFormatEx(nullptr, 0, &fields, picture, text.GetBuffer(), size) <= 0) {
        text.GetBuffer()[0] = L'\0';
    }
    if (fractionFormat != nullptr) {
        const int32_t milliseconds =
            static_cast<int32_t>(ticks % kTicksPerSecond / kTicksPerMillisecond);
        text.AppendFormat(fractionFormat, milliseconds);
    }
    return text;
}

CWideString kvx_datetime::GetTimeText(int32_t withMilliseconds) const {
    return FormatTime(nullptr, withMilliseconds != 0 ? L".%03d" : nullptr);
}
