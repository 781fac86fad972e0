// Tests of the Microsoft-convention printf and its vsnprintf-like return rules.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

int FormatWide(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = KvxFormatWideV(buffer, count, format, args);
    va_end(args);
    return result;
}

int FormatNarrow(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = KvxFormatNarrowV(buffer, count, format, args);
    va_end(args);
    return result;
}

TEST(WidePrintf, WideFormatsTakeWideSAndCAndNarrowUpperCase) {
    wchar_t out[128];
    const int64_t big = 1234567890123LL;
    EXPECT_EQ(FormatWide(out, 128, L"%s|%S|%c|%C|%hs|%ls|%hc|%lc|%%s", L"wide", "narrow", L'w', 'n',
                         "hs", L"ls", 'h', L'l'),
              28);
    EXPECT_STREQ(out, L"wide|narrow|w|n|hs|ls|h|l|%s");

    EXPECT_EQ(FormatWide(out, 128, L"[%6s][%-6S][%.2s][%3c]", L"ab", "cd", L"efg", L'h'), 25);
    EXPECT_STREQ(out, L"[    ab][cd    ][ef][  h]");

    EXPECT_EQ(FormatWide(out, 128, L"%I64d %I64u %d %05.1f %x", big, uint64_t(7), -3, 2.5, 255u),
              27);
    EXPECT_STREQ(out, L"1234567890123 7 -3 002.5 ff");
}

TEST(WidePrintf, ReturnsTheFullLengthAndCutsWithATerminator) {
    wchar_t out[16];
    const struct {
        size_t count;
        int want;
        const wchar_t* text;
    } cases[] = {
        {16, 10, L"0123456789"},  // room to spare
        {11, 10, L"0123456789"},  // exact fit with the terminator
        {10, 10, L"012345678"},   // one short: cut
        {6, 10, L"01234"},        //
        {1, 10, L""},             // room for the terminator only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        for (wchar_t& ch : out) {
            ch = L'#';
        }
        EXPECT_EQ(FormatWide(out, c.count, L"%s%d", L"01234567", 89), c.want);
        EXPECT_STREQ(out, c.text);
    }
    EXPECT_EQ(FormatWide(nullptr, 0, L"%s%d", L"01234567", 89), 10);
    EXPECT_EQ(FormatWide(nullptr, 4, L"x"), -1);
    EXPECT_EQ(FormatWide(out, 4, nullptr), -1);
}

TEST(WidePrintf, MeasuresTextsLongerThanAnyScratchGuess) {
    const std::wstring longText(5000, L'q');
    wchar_t out[10];
    EXPECT_EQ(FormatWide(out, 10, L"<%s>", longText.c_str()), 5002);
    EXPECT_STREQ(out, L"<qqqqqqqq");
    EXPECT_EQ(FormatWide(nullptr, 0, L"%s%s", longText.c_str(), longText.c_str()), 10000);
}

TEST(WidePrintf, NarrowFormatsTakeNarrowSAndWideUpperCase) {
    char out[64];
    EXPECT_EQ(FormatNarrow(out, 64, "%s|%S|%c|%C|%ls", "n", L"w", 'c', L'C', L"l"), 9);
    EXPECT_STREQ(out, "n|w|c|C|l");
    EXPECT_EQ(FormatNarrow(out, 4, "%s", "abcdef"), 6);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(FormatNarrow(nullptr, 0, "%I64d", int64_t(-5)), 2);
}

#if !defined(_WIN32)
// Off Windows the ANSI code page is UTF-8 whatever the process locale (tests run in "C").
TEST(WidePrintf, NarrowTextIsUtf8WhateverTheLocale) {
    wchar_t out[16];
    EXPECT_EQ(FormatWide(out, 16, L"%S|%C", "\xc3\xa9\xe2\x82\xac", 'x'), 4);
    EXPECT_STREQ(out, L"\u00e9\u20ac|x");
    char narrow[16];
    EXPECT_EQ(FormatNarrow(narrow, 16, "%S", L"\u00e9\u20ac"), 5);
    EXPECT_STREQ(narrow, "\xc3\xa9\xe2\x82\xac");
}

TEST(WidePrintf, InvalidTextFailsWithMinusOneAndAnEmptyBuffer) {
    wchar_t out[16] = L"untouched";
    EXPECT_EQ(FormatWide(out, 16, L"ok %S", "\xff"), -1);
    EXPECT_STREQ(out, L"");
    EXPECT_EQ(FormatWide(nullptr, 0, L"%S", "\xc3"), -1);
    char narrow[16] = "untouched";
    EXPECT_EQ(FormatNarrow(narrow, 16, "%S", L"\xd800"), -1);
    EXPECT_STREQ(narrow, "");
}
#endif

}  // namespace
