// Tests of the trailing-space trim in both widths.
#include "kvx/foundation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TrimCase {
    const char* in;
    const char* want;
};

// Only TAB, LF, CR and space are trimmed; inner white space and other control characters stay.
const TrimCase kTrimCases[] = {
    {"", ""},
    {"abc", "abc"},
    {"abc \t\r\n", "abc"},
    {" \t\r\n ", ""},
    {"a b\r\nc\r\n", "a b\r\nc"},
    {"abc\v", "abc\v"},
    {"abc\f ", "abc\f"},
    {"abc\x1f", "abc\x1f"},
    {"\xc2\xa0", "\xc2\xa0"},
    {"x \t y  ", "x \t y"},
};

TEST(TrimTrailingSpace, NarrowRemovesOnlyTabLfCrAndSpace) {
    for (const auto& c : kTrimCases) {
        SCOPED_TRACE(c.in);
        std::string text = c.in;
        char* result = TrimTrailingSpace(text.data());
        EXPECT_EQ(result, text.data());
        EXPECT_STREQ(result, c.want);
    }
}

TEST(TrimTrailingSpace, WideRemovesOnlyTabLfCrAndSpace) {
    for (const auto& c : kTrimCases) {
        SCOPED_TRACE(c.in);
        std::wstring text(c.in, c.in + std::char_traits<char>::length(c.in));
        std::wstring want(c.want, c.want + std::char_traits<char>::length(c.want));
        EXPECT_STREQ(TrimTrailingSpace(text.data()), want.c_str());
    }
}

TEST(TrimTrailingSpace, WideKeepsNonAsciiSpaces) {
    std::wstring text = L"a\u00a0\u2003\u3000";
    EXPECT_STREQ(TrimTrailingSpace(text.data()), L"a\u00a0\u2003\u3000");
}

TEST(TrimTrailingSpace, NullIsLeftAlone) {
    EXPECT_EQ(TrimTrailingSpace(static_cast<char*>(nullptr)), nullptr);
    EXPECT_EQ(TrimTrailingSpace(static_cast<wchar_t*>(nullptr)), nullptr);
}

}  // namespace
