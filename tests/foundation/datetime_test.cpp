// Tests of kvx_datetime: construction kinds, day start, date and time texts.
#include "kvx/foundation.h"

#include "support/time_zone.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kDay = 864000000000ULL;
// 2026-03-05 07:08:09.010 (day 155291 after 1601-01-01, a Thursday).
constexpr uint64_t kSample = 134171680890100000ULL;

kvx_datetime At(uint64_t ticks) {
    kvx_datetime value;
    value.ticks = ticks;
    return value;
}

TEST(KvxDateTime, KindsMakeEmptyUtcAndLocalValues) {
    EXPECT_EQ(kvx_datetime().ticks, 0u);
    EXPECT_EQ(kvx_datetime(kvx_dt_empty).ticks, 0u);
    EXPECT_EQ(kvx_datetime(7).ticks, 0u);  // unknown kinds give the empty value
    const uint64_t utc = kvx_datetime(kvx_dt_utc_now).ticks;
    EXPECT_GT(utc, 125911584000000000ULL);  // after 2000-01-01
}

TEST(KvxDateTime, LocalValueIsUtcMinusTheBias) {
    const struct {
        const char* zone;
        int64_t shift;  // ticks added to UTC
    } cases[] = {{"UTC", 0}, {"UTC-1", 36000000000LL}, {"UTC+5", -180000000000LL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        KvxScopedTimeZone zone(c.zone);
        if (!zone.Applied()) {
            continue;
        }
        const uint64_t before = kvx_datetime(kvx_dt_utc_now).ticks;
        const uint64_t local = kvx_datetime(kvx_dt_local_now).ticks;
        const uint64_t after = kvx_datetime(kvx_dt_utc_now).ticks;
        EXPECT_GE(local, before + uint64_t(c.shift));
        EXPECT_LE(local, after + uint64_t(c.shift));
    }
}

TEST(KvxDateTime, DayStartTruncatesToWholeDays) {
    const struct {
        uint64_t ticks;
        uint64_t start;
    } cases[] = {{0, 0},
                 {1, 0},
                 {kDay - 1, 0},
                 {kDay, kDay},
                 {155291 * kDay + 256890100000ULL, 155291 * kDay},
                 {kSample, 134171424000000000ULL},
                 {~0ULL, 18446743872000000000ULL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        EXPECT_EQ(At(c.ticks).GetDayStart(), c.start);
    }
}

TEST(KvxDateTime, FormatsDateAndTimePictures) {
    const kvx_datetime value = At(kSample);
    EXPECT_STREQ(value.FormatDate(L"yyyyMMdd").GetText(), L"20260305");
    EXPECT_STREQ(value.FormatDate(L"yyyy.MM.dd").GetText(), L"2026.03.05");
    EXPECT_STREQ(value.FormatDate(L"ddd d MMM yy").GetText(), L"Thu 5 Mar 26");
    EXPECT_STREQ(value.FormatTime(L"HH:mm:ss", nullptr).GetText(), L"07:08:09");
    EXPECT_STREQ(value.FormatTime(L"HH:mm:ss", L".%03d").GetText(), L"07:08:09.010");
    EXPECT_STREQ(value.FormatTime(L"H'h'mm", L" [%d ms]").GetText(), L"7h08 [10 ms]");
}

TEST(KvxDateTime, TextsFitOneBlockWithTheirMilliseconds) {
    const CWideString time = At(kSample).FormatTime(L"HH:mm:ss", L".%03d");
    EXPECT_EQ(time.GetCapacity(), 56u);
    EXPECT_EQ(time.GetLength(), 12u);
}

TEST(KvxDateTime, FractionIsTheWholeMillisecondsOfTheSecond) {
    const uint64_t second = 134171424000000000ULL;  // 2026-03-05 00:00:00
    const struct {
        uint64_t subSecond;
        const wchar_t* want;
    } cases[] = {{9999999, L"00:00:00.999"},
                 {9999, L"00:00:00.000"},
                 {10000, L"00:00:00.001"},
                 {1, L"00:00:00.000"},
                 {5000000, L"00:00:00.500"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subSecond);
        EXPECT_STREQ(At(second + c.subSecond).FormatTime(L"HH:mm:ss", L".%03d").GetText(), c.want);
    }
}

TEST(KvxDateTime, EmptyValueGivesEmptyTextsWithStorage) {
    const kvx_datetime empty;
    const CWideString texts[] = {empty.FormatDate(L"yyyyMMdd"),
                                 empty.GetDateText(0),
                                 empty.GetDateText(1),
                                 empty.FormatTime(L"HH:mm:ss", nullptr),
                                 empty.FormatTime(nullptr, L".%03d"),
                                 empty.GetTimeText(0),
                                 empty.GetTimeText(1)};
    for (const CWideString& text : texts) {
        ASSERT_NE(text.GetBuffer(), nullptr);
        EXPECT_EQ(text.GetCapacity(), 56u);
        EXPECT_STREQ(text.GetText(), L"");
    }
}

// No picture is rejected by the platform; the counts without calendar fields take the failure
// texts: empty for dates, "NaT" for times (without milliseconds).
TEST(KvxDateTime, CountsFrom2To63GiveEmptyDateAndNaT) {
    const uint64_t last = 0x7FFFFFFFFFFFFFFFULL;  // 30828-09-14 02:48:05.477
    EXPECT_STREQ(At(last).FormatDate(L"yyyy-MM-dd").GetText(), L"30828-09-14");
    EXPECT_STREQ(At(last).FormatTime(L"HH:mm:ss", L".%03d").GetText(), L"02:48:05.477");
    for (const uint64_t ticks : {last + 1, ~uint64_t(0)}) {
        SCOPED_TRACE(ticks);
        EXPECT_STREQ(At(ticks).FormatDate(L"yyyy-MM-dd").GetText(), L"");
        EXPECT_STREQ(At(ticks).GetDateText(1).GetText(), L"");
        EXPECT_STREQ(At(ticks).FormatTime(L"HH:mm:ss", L".%03d").GetText(), L"NaT");
        EXPECT_STREQ(At(ticks).GetTimeText(1).GetText(), L"NaT");
    }
}

TEST(KvxDateTime, UserFormatsAreNotEmpty) {
    // The user's formats differ between platforms (the invariant locale off Windows); they
    // always show something for a real date.
    const kvx_datetime value = At(kSample);
    EXPECT_GT(value.GetDateText(0).GetLength(), 0u);
    EXPECT_GT(value.GetDateText(1).GetLength(), value.GetDateText(0).GetLength());
    const CWideString withMs = value.GetTimeText(1);
    const CWideString withoutMs = value.GetTimeText(0);
    EXPECT_EQ(withMs.GetLength(), withoutMs.GetLength() + 4);
    EXPECT_EQ(std::wstring(withMs.GetText()).substr(withoutMs.GetLength()), L".010");
}

}  // namespace
