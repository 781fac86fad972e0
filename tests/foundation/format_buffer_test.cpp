// Tests of CFormatBuffer: the 256-byte growth rule and appending.
#include "kvx/foundation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CFormatBuffer, StartsEmptyWithoutOrWithStorage) {
    CFormatBuffer none(0);
    EXPECT_EQ(none.GetCapacity(), 0u);
    EXPECT_EQ(none.GetLength(), 0u);
    EXPECT_STREQ(none.GetText(), "");

    CFormatBuffer some(10);
    EXPECT_EQ(some.GetCapacity(), 10u);
    EXPECT_EQ(some.GetLength(), 0u);
    EXPECT_STREQ(some.GetText(), "");
}

// Capacity after one append of `appended` characters to a buffer made with `initial`.
TEST(CFormatBuffer, GrowsToTotalRoundedDownTo256Plus256) {
    const struct {
        uint64_t initial;
        size_t appended;
        uint64_t wantCapacity;
    } cases[] = {
        {0, 0, 256},      // total 1
        {0, 5, 256},      // total 6
        {0, 254, 256},    // total 255
        {0, 255, 512},    // total 256
        {0, 511, 768},    // total 512
        {10, 9, 10},      // total 10 is not above 10: no growth
        {10, 10, 256},    // total 11
        {256, 255, 256},  // exactly full
        {256, 256, 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.initial << " + " << c.appended);
        CFormatBuffer buffer(c.initial);
        const std::string text(c.appended, 'x');
        buffer.AppendFormat("%s", text.c_str());
        EXPECT_EQ(buffer.GetCapacity(), c.wantCapacity);
        EXPECT_EQ(buffer.GetLength(), c.appended);
        EXPECT_EQ(std::string(buffer.GetText()), text);
    }
}

TEST(CFormatBuffer, GrowthKeepsTheTextAndCountsItsLength) {
    CFormatBuffer buffer(10);
    buffer.AppendFormat("%d-%s", 42, "abc");  // 6 characters: fits
    EXPECT_EQ(buffer.GetCapacity(), 10u);
    const std::string tail(300, 'y');
    buffer.AppendFormat("%s", tail.c_str());  // total 6 + 1 + 300 = 307
    EXPECT_EQ(buffer.GetCapacity(), 512u);
    EXPECT_EQ(buffer.GetLength(), 306u);
    EXPECT_EQ(std::string(buffer.GetText()), "42-abc" + tail);
    buffer.AppendFormat("%c%c", '!', '?');
    EXPECT_STREQ(buffer.GetText() + 306, "!?");
    EXPECT_EQ(buffer.GetLength(), 308u);
}

TEST(CFormatBuffer, AppendAfterAGrowthInTheSameCallUsesTheNewRoom) {
    // 200 + 1 + 100 = 301 > 256: one growth to 512, the old 200 characters copied once.
    CFormatBuffer buffer(0);
    buffer.AppendFormat("%s", std::string(200, 'a').c_str());
    EXPECT_EQ(buffer.GetCapacity(), 256u);
    buffer.AppendFormat("%s", std::string(100, 'b').c_str());
    EXPECT_EQ(buffer.GetCapacity(), 512u);
    EXPECT_EQ(std::string(buffer.GetText()), std::string(200, 'a') + std::string(100, 'b'));
}

TEST(CFormatBuffer, WideArgumentsUseTheNarrowConventions) {
    CFormatBuffer buffer(0);
    buffer.AppendFormat("%s|%S|%ls|%c|%C|%5.2s|", "narrow", L"wide", L"long", 'n', L'w', "xyz");
    EXPECT_STREQ(buffer.GetText(), "narrow|wide|long|n|w|   xy|");
}

TEST(CFormatBuffer, ClearKeepsTheStorage) {
    CFormatBuffer buffer(0);
    buffer.AppendFormat("%s", "some text");
    buffer.Clear();
    EXPECT_EQ(buffer.GetLength(), 0u);
    EXPECT_EQ(buffer.GetCapacity(), 256u);
    EXPECT_STREQ(buffer.GetText(), "");
    buffer.AppendFormat("%u", 7u);
    EXPECT_STREQ(buffer.GetText(), "7");
}

TEST(CFormatBuffer, FailedFormattingNeverShrinksTheText) {
    // A format without a conversion the runtime accepts still leaves what was there.
    CFormatBuffer buffer(0);
    buffer.AppendFormat("%s", "kept");
    buffer.AppendFormat(nullptr);
    EXPECT_EQ(buffer.GetLength(), 4u);
    EXPECT_STREQ(buffer.GetText(), "kept");
}

}  // namespace
