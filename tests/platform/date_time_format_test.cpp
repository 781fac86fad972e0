// Tests of GetDateFormatEx/GetTimeFormatEx (the picture language), FileTimeToSystemTime and
// GetTimeZoneInformation, as Win32 does them.
#include "platform/win32.h"

#include "support/time_zone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SYSTEMTIME Make(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
                WORD ms = 0) {
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = ms;
    st.wDayOfWeek = 3;  // deliberately wrong: it is ignored
    return st;
}

const SYSTEMTIME kSample = Make(2026, 3, 5, 7, 8, 9, 10);

std::wstring Date(const SYSTEMTIME& st, const wchar_t* picture, DWORD flags = 0) {
    wchar_t out[128];
    const int n = GetDateFormatEx(nullptr, flags, &st, picture, out, 128, nullptr);
    return n > 0 ? std::wstring(out) : L"<fail " + std::to_wstring(GetLastError()) + L">";
}

std::wstring Time(const SYSTEMTIME& st, const wchar_t* picture, DWORD flags = 0) {
    wchar_t out[128];
    const int n = GetTimeFormatEx(nullptr, flags, &st, picture, out, 128);
    return n > 0 ? std::wstring(out) : L"<fail " + std::to_wstring(GetLastError()) + L">";
}

TEST(DateFormat, PictureLanguage) {
    const struct {
        const wchar_t* picture;
        const wchar_t* want;
    } cases[] = {
        {L"yyyyMMdd", L"20260305"},
        {L"yyyy.MM.dd", L"2026.03.05"},
        {L"d dd ddd dddd", L"5 05 Thu Thursday"},
        {L"ddddd", L"Thursday"},
        {L"M MM MMM MMMM", L"3 03 Mar March"},
        {L"MMMMMM", L"March"},
        {L"y yy yyyy", L"26 26 2026"},
        {L"yyy,yyyyy,yyyyyy", L"2026,2026,2026"},
        {L"g gg", L"AD ADAD"},
        {L"'it''s' d", L"it's 5"},
        {L"''d''", L"5"},
        {L"'abc", L"abc"},
        {L"xyz", L"x26z"},
        {L"HH:mm", L"HH:mm"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.picture, c.picture + wcslen(c.picture)));
        EXPECT_EQ(Date(kSample, c.picture), c.want);
    }
    EXPECT_EQ(Date(Make(2005, 11, 30), L"y yy yyyy d M"), L"05 05 2005 30 11");
}

TEST(TimeFormat, PictureLanguage) {
    const struct {
        WORD hour;
        const wchar_t* picture;
        const wchar_t* want;
    } cases[] = {
        {7, L"HH:mm:ss", L"07:08:09"},    {13, L"h hh H HH", L"1 01 13 13"},
        {0, L"h hh H HH", L"12 12 0 00"}, {12, L"h t tt", L"12 P PM"},
        {7, L"t tt ttt", L"A AM AM"},     {7, L"m mm s ss", L"8 08 9 09"},
        {7, L"mmm sss HHH", L"08 09 07"}, {7, L"'h''m' H", L"h'm 7"},
        {7, L"yyyy d", L"yyyy d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.picture, c.picture + wcslen(c.picture)));
        EXPECT_EQ(Time(Make(2026, 3, 5, c.hour, 8, 9, 10), c.picture), c.want);
    }
}

TEST(TimeFormat, FlagsApplyToAGivenPicture) {
    EXPECT_EQ(Time(kSample, L"HH:mm:ss", TIME_NOSECONDS), L"07:08");
    EXPECT_EQ(Time(kSample, L"HH:mm:ss", TIME_NOMINUTESORSECONDS), L"07");
    EXPECT_EQ(Time(Make(2026, 1, 1, 15, 4, 5), L"hh:mm tt", TIME_FORCE24HOURFORMAT), L"15:04 PM");
}

TEST(DateTimeFormat, SizeQueryCountsTheTerminator) {
    EXPECT_EQ(GetDateFormatEx(nullptr, 0, &kSample, L"yyyyMMdd", nullptr, 0, nullptr), 9);
    EXPECT_EQ(GetDateFormatEx(nullptr, 0, &kSample, L"", nullptr, 0, nullptr), 1);
    EXPECT_EQ(GetTimeFormatEx(nullptr, 0, &kSample, L"HH:mm:ss", nullptr, 0), 9);
    wchar_t out[9];
    EXPECT_EQ(GetDateFormatEx(nullptr, 0, &kSample, L"yyyyMMdd", out, 9, nullptr), 9);
    EXPECT_STREQ(out, L"20260305");
}

TEST(DateTimeFormat, FailuresSetTheirCodes) {
    wchar_t out[8];
    EXPECT_EQ(GetDateFormatEx(nullptr, DATE_SHORTDATE, &kSample, L"yyyy", out, 8, nullptr), 0);
    EXPECT_EQ(GetLastError(), 1004u);
    EXPECT_EQ(GetDateFormatEx(nullptr, 0, &kSample, L"yyyyMMdd", out, 8, nullptr), 0);
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(GetDateFormatEx(nullptr, 0, &kSample, L"yyyy", nullptr, 8, nullptr), 0);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(GetTimeFormatEx(nullptr, 0, &kSample, L"HH:mm:ss", out, 8), 0);
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(GetDateFormatEx(nullptr, DATE_LONGDATE, &kSample, L"yyyy", out, 8, nullptr), 0);
    EXPECT_EQ(GetLastError(), 1004u);
    EXPECT_EQ(GetDateFormatEx(nullptr, DATE_SHORTDATE | DATE_LONGDATE, &kSample, nullptr, out, 8,
                              nullptr),
              0);
    EXPECT_EQ(GetLastError(), 1004u);
    EXPECT_EQ(GetDateFormatEx(L"xx-nowhere", 0, &kSample, L"yyyy", out, 8, nullptr), 0);
    EXPECT_EQ(GetLastError(), 87u);
}

TEST(DateTimeFormat, InvalidFieldsGive87) {
    const SYSTEMTIME badDates[] = {Make(2026, 0, 5),  Make(2026, 13, 5),  Make(2026, 1, 32),
                                   Make(2026, 2, 31), Make(1600, 12, 31), Make(2026, 4, 0)};
    for (const SYSTEMTIME& st : badDates) {
        SCOPED_TRACE(testing::Message() << st.wYear << "-" << st.wMonth << "-" << st.wDay);
        EXPECT_EQ(Date(st, L"yyyy"), L"<fail 87>");
    }
    EXPECT_EQ(Date(Make(2024, 2, 29), L"yyyy-MM-dd"), L"2024-02-29");
    const SYSTEMTIME badTimes[] = {Make(2026, 1, 1, 25), Make(2026, 1, 1, 1, 61),
                                   Make(2026, 1, 1, 1, 1, 60), Make(2026, 1, 1, 1, 1, 1, 1000)};
    for (const SYSTEMTIME& st : badTimes) {
        SCOPED_TRACE(testing::Message() << st.wHour << ":" << st.wMinute << ":" << st.wSecond);
        EXPECT_EQ(Time(st, L"HH"), L"<fail 87>");
    }
}

#if !defined(_WIN32)
// The invariant locale's layouts (Windows uses the user's own, which differ).
TEST(DateTimeFormat, NullPicturesUseTheInvariantLayouts) {
    EXPECT_EQ(Date(kSample, nullptr), L"03/05/2026");
    EXPECT_EQ(Date(kSample, nullptr, DATE_SHORTDATE), L"03/05/2026");
    EXPECT_EQ(Date(kSample, nullptr, DATE_LONGDATE), L"Thursday, 05 March 2026");
    EXPECT_EQ(Date(kSample, nullptr, DATE_YEARMONTH), L"2026 March");
    EXPECT_EQ(Time(kSample, nullptr), L"07:08:09");
    EXPECT_EQ(Time(kSample, nullptr, TIME_NOSECONDS), L"07:08");
}
#endif

TEST(FileTimeToSystemTime, ConvertsUpTo2To63Minus1) {
    const struct {
        uint64_t ticks;
        SYSTEMTIME want;
        WORD weekday;
    } cases[] = {
        {0, Make(1601, 1, 1), 1},
        {1, Make(1601, 1, 1), 1},
        {134171680890100000ULL, Make(2026, 3, 5, 7, 8, 9, 10), 4},
        {0x7FFFFFFFFFFFFFFFULL, Make(30828, 9, 14, 2, 48, 5, 477), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        const FILETIME ft{static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
        EXPECT_EQ(st.wYear, c.want.wYear);
        EXPECT_EQ(st.wMonth, c.want.wMonth);
        EXPECT_EQ(st.wDay, c.want.wDay);
        EXPECT_EQ(st.wDayOfWeek, c.weekday);
        EXPECT_EQ(st.wHour, c.want.wHour);
        EXPECT_EQ(st.wMinute, c.want.wMinute);
        EXPECT_EQ(st.wSecond, c.want.wSecond);
        EXPECT_EQ(st.wMilliseconds, c.want.wMilliseconds);
    }
}

TEST(FileTimeToSystemTime, FailsFrom2To63LeavingTheOutputAlone) {
    for (const uint64_t ticks : {uint64_t(1) << 63, ~uint64_t(0)}) {
        const FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SYSTEMTIME st = Make(1999, 9, 9);
        SetLastError(0);
        EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
        EXPECT_EQ(GetLastError(), 87u);
        EXPECT_EQ(st.wYear, 1999);
        EXPECT_EQ(st.wDay, 9);
    }
}

TEST(GetTimeZoneInformation, FixedZonesHaveOnlyABias) {
    const struct {
        const char* zone;
        LONG bias;
    } cases[] = {{"UTC", 0}, {"UTC-1", -60}, {"UTC+5", 300}, {"<+0130>-1:30", -90}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        KvxScopedTimeZone zone(c.zone);
        if (!zone.Applied()) {
            continue;
        }
        TIME_ZONE_INFORMATION info{};
        EXPECT_EQ(GetTimeZoneInformation(&info), 0u);
        EXPECT_EQ(info.Bias, c.bias);
        EXPECT_EQ(info.StandardBias, 0);
    }
}

TEST(GetTimeZoneInformation, DaylightZonesGiveRuleDates) {
    KvxScopedTimeZone zone("Europe/Berlin");
    if (!zone.Applied()) {
        GTEST_SKIP() << "the process runs under another zone";
    }
    TIME_ZONE_INFORMATION info{};
    const DWORD result = GetTimeZoneInformation(&info);
    EXPECT_TRUE(result == TIME_ZONE_ID_STANDARD || result == TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(info.Bias, -60);
    EXPECT_EQ(info.StandardBias, 0);
    EXPECT_EQ(info.DaylightBias, -60);
    // Standard time from the last Sunday of October, 03:00; daylight from the last Sunday of
    // March, 02:00.
    EXPECT_EQ(info.StandardDate.wYear, 0);
    EXPECT_EQ(info.StandardDate.wMonth, 10);
    EXPECT_EQ(info.StandardDate.wDay, 5);
    EXPECT_EQ(info.StandardDate.wDayOfWeek, 0);
    EXPECT_EQ(info.StandardDate.wHour, 3);
    EXPECT_EQ(info.DaylightDate.wMonth, 3);
    EXPECT_EQ(info.DaylightDate.wDay, 5);
    EXPECT_EQ(info.DaylightDate.wDayOfWeek, 0);
    EXPECT_EQ(info.DaylightDate.wHour, 2);

    // A second call (the rules are then kept, not searched again) gives the same answer.
    TIME_ZONE_INFORMATION again{};
    EXPECT_EQ(GetTimeZoneInformation(&again), result);
    EXPECT_EQ(again.Bias, info.Bias);
    EXPECT_EQ(again.DaylightBias, info.DaylightBias);
    EXPECT_EQ(again.StandardDate.wMonth, 10);
    EXPECT_EQ(again.DaylightDate.wMonth, 3);

    KvxScopedTimeZone newYork("America/New_York");
    if (!newYork.Applied()) {
        return;
    }
    EXPECT_NE(GetTimeZoneInformation(&again), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(again.Bias, 300);
    EXPECT_EQ(again.DaylightDate.wMonth, 3);
    EXPECT_EQ(again.DaylightDate.wDay, 2);
    EXPECT_EQ(again.StandardDate.wMonth, 11);
    EXPECT_EQ(again.StandardDate.wDay, 1);
}

}  // namespace
