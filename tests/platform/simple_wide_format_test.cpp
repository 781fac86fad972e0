// simple_wide_format_test.cpp: the direct formatter for simple wide formats must give exactly
// what the C library's wide printf gives for the same conversions (in its own spelling), at
// every buffer size, and must leave everything else to the full path.
#include "platform/posix/simple_wide_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

namespace {

bool Simple(wchar_t* buffer, size_t count, int* result, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const bool took = KvxFormatSimpleWide(buffer, count, format, args, result);
    va_end(args);
    return took;
}

// `ours` in this library's conventions, `glibc` the same conversions in the C library's.
template <typename... Args>
void ExpectSame(const wchar_t* ours, const wchar_t* glibc, Args... args) {
    SCOPED_TRACE(testing::Message() << "format " << std::wstring(ours).size() << " chars");
    wchar_t want[512];
    const int length = std::swprintf(want, 512, glibc, args...);
    ASSERT_GE(length, 0);
    for (size_t count = 0; count <= static_cast<size_t>(length) + 1; ++count) {
        std::vector<wchar_t> out(count + 1, L'#');
        int got = -2;
        ASSERT_TRUE(Simple(out.data(), count, &got, ours, args...)) << count;
        EXPECT_EQ(got, length);
        if (count > 0) {
            const size_t kept = std::min(count - 1, static_cast<size_t>(length));
            EXPECT_EQ(std::wstring(out.data()), std::wstring(want, kept)) << count;
        }
        EXPECT_EQ(out[count], L'#') << "written past the buffer at " << count;
    }
}

TEST(SimpleWideFormat, MatchesTheLibraryForEveryConversionItTakes) {
    ExpectSame(L"", L"");
    ExpectSame(L"plain text, 100%% sure", L"plain text, 100%% sure");
    ExpectSame(L"request %d served in %d us", L"request %d served in %d us", 1000000, 250);
    ExpectSame(L"%d|%i|%d|%d", L"%d|%i|%d|%d", INT_MIN, INT_MAX, 0, -1);
    ExpectSame(L"%u %x %X", L"%u %x %X", UINT_MAX, 0xdeadbeefu, 0xdeadbeefu);
    ExpectSame(L"%ld %lu %lx", L"%ld %lu %lx", LONG_MIN, ULONG_MAX, 0x1234abcdL);
    ExpectSame(L"%lld %I64d %I64u %I64X", L"%lld %lld %llu %llX", LLONG_MIN, LLONG_MAX, ULLONG_MAX,
               0xfedcba9876543210ULL);
    ExpectSame(L"%I32d %I32x", L"%d %x", -7, 255u);
    ExpectSame(L"[%s|%ls|%ws|%s]", L"[%ls|%ls|%ls|%ls]", L"wide", L"l", L"w", L"");
    ExpectSame(L"%c%lc%wc", L"%lc%lc%lc", wint_t{L'a'}, wint_t{0x20ac}, wint_t{L'z'});
}

TEST(SimpleWideFormat, MatchesTheLibraryOnRandomIntegers) {
    std::mt19937_64 rng(20261206);
    for (int i = 0; i < 2000; ++i) {
        const unsigned long long bits = rng() >> (rng() % 64);
        ExpectSame(L"%d %u %x %X %lld", L"%d %u %x %X %lld", static_cast<int>(bits),
                   static_cast<unsigned>(bits), static_cast<unsigned>(bits >> 3),
                   static_cast<unsigned>(bits >> 5), static_cast<long long>(bits * 0x9e37ULL));
    }
}

TEST(SimpleWideFormat, LeavesEverythingElseToTheFullPath) {
    const struct {
        const wchar_t* format;
    } formats[] = {{L"%5d"}, {L"%-d"}, {L"%+d"},  {L"%.2s"}, {L"%S"},   {L"%hs"},
                   {L"%C"},  {L"%f"},  {L"%p"},   {L"%wd"},  {L"%lls"}, {L"%I64s"},
                   {L"%hd"}, {L"%zu"}, {L"abc%"}, {L"%l"},   {L"%I6"},  {L"%n"}};
    for (const auto& f : formats) {
        wchar_t out[32];
        int result = -2;
        EXPECT_FALSE(Simple(out, 32, &result, f.format, 1, 2)) << std::wstring(f.format).size();
        EXPECT_EQ(result, -2);
    }
    // Values the full path decides: a null string, a zero character.
    wchar_t out[32];
    int result = -2;
    EXPECT_FALSE(Simple(out, 32, &result, L"a%sb", static_cast<const wchar_t*>(nullptr)));
    EXPECT_FALSE(Simple(out, 32, &result, L"a%cb", wint_t{0}));
    EXPECT_EQ(result, -2);
}

}  // namespace
