// time_zone.cpp: GetTimeZoneInformation from the C library's zone rules.
//
// The rules are sampled for the current year: the offsets in January and July tell the
// standard and the daylight offset apart, and a binary search over each half of the year finds
// the moments the C library switches between them. TZ is re-read on every call (tzset), so a
// test or a host that changes it sees the new zone on the next call.
#include "platform/posix/calendar.h"
#include "platform/win32.h"

#include <cstring>
#include <mutex>
#include <string>
#include <time.h>

namespace {

struct Sample {
    long offset;  // seconds east of UTC
    bool daylight;
    const char* name;
};

Sample SampleAt(time_t t) {
    tm local{};
    localtime_r(&t, &local);
    return {local.tm_gmtoff, local.tm_isdst > 0, local.tm_zone};
}

void CopyName(WCHAR (&to)[32], const char* from) {
    size_t i = 0;
    for (; from != nullptr && from[i] != '\0' && i < 31; ++i) {
        to[i] = static_cast<WCHAR>(static_cast<unsigned char>(from[i]));
    }
    to[i] = 0;
}

// The first second in (from, to] whose daylight state differs from the one at `from`.
time_t FindSwitch(time_t from, time_t to) {
    const bool start = SampleAt(from).daylight;
    while (to - from > 1) {
        const time_t mid = from + (to - from) / 2;
        if (SampleAt(mid).daylight == start) {
            from = mid;
        } else {
            to = mid;
        }
    }
    return to;
}

// The rule form of a switch at UTC second `when`, as wall-clock time under `offset`: the month,
// the weekday, its occurrence in the month (5 for the last) and the time of day.
SYSTEMTIME RuleDate(time_t when, long offset) {
    const time_t wall = when + offset;
    tm fields{};
    gmtime_r(&wall, &fields);
    SYSTEMTIME rule{};
    const unsigned month = static_cast<unsigned>(fields.tm_mon + 1);
    const unsigned day = static_cast<unsigned>(fields.tm_mday);
    rule.wMonth = static_cast<WORD>(month);
    rule.wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    rule.wDay = static_cast<WORD>(
        day + 7 > kvx_calendar::DaysInMonth(fields.tm_year + 1900, month) ? 5 : (day - 1) / 7 + 1);
    rule.wHour = static_cast<WORD>(fields.tm_hour);
    rule.wMinute = static_cast<WORD>(fields.tm_min);
    rule.wSecond = static_cast<WORD>(fields.tm_sec);
    return rule;
}

// The search for the switch dates is the costly part (some fifty conversions), so its result
// is kept for the last zone and year seen. The key is what the C library says about January
// and July, so a change of TZ or of the zone rules makes a new key.
struct RulesKey {
    int year = 0;
    long januaryOffset = 0;
    long julyOffset = 0;
    bool januaryDaylight = false;
    std::string januaryName;
    std::string julyName;

    bool operator==(const RulesKey&) const = default;
};

// Guards the C library's zone state during a call and the kept rules below.
std::mutex g_zoneLock;
RulesKey g_rulesKey;              // guarded by g_zoneLock
TIME_ZONE_INFORMATION g_rules{};  // guarded by g_zoneLock
bool g_haveRules = false;         // guarded by g_zoneLock

time_t UtcMidnight(int year, int month) {  // month 1..12
    const int64_t days = kvx_calendar::DaysFromCivil(year, static_cast<unsigned>(month), 1);
    return static_cast<time_t>((days - 134774) * 86400);  // 134774: 1601-01-01 to 1970-01-01
}

}  // namespace

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    // tzset replaces the C library's zone state, which its own lock guards out of the sight of
    // ThreadSanitizer; one reader at a time keeps concurrent callers (several threads making
    // local times) clean.
    std::lock_guard<std::mutex> guard(g_zoneLock);
    tzset();
    const time_t now = time(nullptr);
    tm nowFields{};
    localtime_r(&now, &nowFields);
    const int year = nowFields.tm_year + 1900;
    const Sample current{nowFields.tm_gmtoff, nowFields.tm_isdst > 0, nowFields.tm_zone};

    const time_t january = UtcMidnight(year, 1);
    const time_t july = UtcMidnight(year, 7);
    const time_t nextJanuary = UtcMidnight(year + 1, 1);
    const Sample first = SampleAt(january);
    const Sample middle = SampleAt(july);

    std::memset(info, 0, sizeof(*info));
    if (first.daylight == middle.daylight) {
        // No switch this year: one offset, the one in force now.
        info->Bias = static_cast<LONG>(-current.offset / 60);
        CopyName(info->StandardName, current.name);
        CopyName(info->DaylightName, current.name);
        return TIME_ZONE_ID_UNKNOWN;
    }
    const RulesKey key{year,
                       first.offset,
                       middle.offset,
                       first.daylight,
                       first.name != nullptr ? first.name : "",
                       middle.name != nullptr ? middle.name : ""};
    const DWORD state = current.daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
    if (g_haveRules && g_rulesKey == key) {
        *info = g_rules;
        return state;
    }
    const Sample& standardTime = first.daylight ? middle : first;
    const Sample& daylightTime = first.daylight ? first : middle;
    info->Bias = static_cast<LONG>(-standardTime.offset / 60);
    info->StandardBias = 0;
    info->DaylightBias = static_cast<LONG>(-(daylightTime.offset - standardTime.offset) / 60);
    CopyName(info->StandardName, standardTime.name);
    CopyName(info->DaylightName, daylightTime.name);

    // One switch in each half of the year; the wall-clock time of a switch is read on the
    // clock that was in force before it.
    const time_t switches[2] = {FindSwitch(january, july), FindSwitch(july, nextJanuary)};
    for (const time_t when : switches) {
        const bool after = SampleAt(when).daylight;
        if (after == SampleAt(when - 1).daylight) {
            continue;  // the rules changed for good within the year: no switch back
        }
        if (after) {
            info->DaylightDate = RuleDate(when, standardTime.offset);
        } else {
            info->StandardDate = RuleDate(when, daylightTime.offset);
        }
    }
    g_rulesKey = key;
    g_rules = *info;
    g_haveRules = true;
    return state;
}
