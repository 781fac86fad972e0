// Tests of CWideString: the block capacity rule, reserve and growth, formatting into the block.
#include "kvx/foundation.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(CWideString, NullTextHasNoStorageEmptyTextHasCapacity56) {
    CWideString none(nullptr);
    EXPECT_EQ(none.GetBuffer(), nullptr);
    EXPECT_EQ(none.GetLength(), 0u);
    EXPECT_EQ(none.GetCapacity(), 0u);
    EXPECT_STREQ(none.GetText(), L"");

    CWideString empty(L"");
    ASSERT_NE(empty.GetBuffer(), nullptr);
    EXPECT_EQ(empty.GetCapacity(), 56u);
    EXPECT_EQ(empty.GetLength(), 0u);

    CWideString byDefault;
    EXPECT_EQ(byDefault.GetBuffer(), nullptr);
}

TEST(CWideString, CapacityIs56Plus64PerStepOf2nPlus18Over128) {
    const struct {
        uint64_t request;
        uint64_t capacity;
    } cases[] = {{0, 56},    {1, 56},    {54, 56},   {55, 120},   {118, 120},
                 {119, 184}, {182, 184}, {183, 248}, {1000, 1016}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        CWideString text;
        text.EnsureCapacity(c.request);
        EXPECT_EQ(text.GetCapacity(), c.capacity);
        EXPECT_EQ(text.GetLength(), 0u);
    }
}

TEST(CWideString, TextCopiesGetTheBlockForTheirLength) {
    const std::wstring t54(54, L'a'), t55(55, L'b');
    CWideString a(t54.c_str()), b(t55.c_str());
    EXPECT_EQ(a.GetCapacity(), 56u);
    EXPECT_EQ(a.GetLength(), 54u);
    EXPECT_EQ(b.GetCapacity(), 120u);
    EXPECT_EQ(std::wstring(b.GetText()), t55);
}

TEST(CWideString, ReserveKeepsABlockThatHoldsNEnsureCapacityNeedsMore) {
    CWideString text(L"keep");
    const wchar_t* block = text.GetBuffer();
    text.Reserve(56);
    EXPECT_EQ(text.GetBuffer(), block);
    EXPECT_EQ(text.GetCapacity(), 56u);

    text.EnsureCapacity(55);  // 56 > 55: kept
    EXPECT_EQ(text.GetBuffer(), block);
    text.EnsureCapacity(56);  // 56 is not above 56: a new block for 56 characters
    EXPECT_EQ(text.GetCapacity(), 120u);
    EXPECT_STREQ(text.GetText(), L"keep");

    CWideString other(L"x");
    other.Reserve(57);
    EXPECT_EQ(other.GetCapacity(), 120u);
    EXPECT_STREQ(other.GetText(), L"x");

    CWideString none;
    none.Reserve(0);
    EXPECT_EQ(none.GetCapacity(), 56u);
}

TEST(CWideString, AppendTriesTheRoomLeftButOneThenMeasures) {
    // Length 50 in a block of 56: the first try is bounded to 56 - 50 - 1 = 5 characters with
    // the terminator, so 4 more fit at once. 5 more are cut, measured, and EnsureCapacity(55)
    // keeps the block (56 > 55): the text then fills it. 6 more need EnsureCapacity(56): 120.
    const std::wstring base(50, L'z');
    const struct {
        int value;
        uint64_t capacity;
        const wchar_t* tail;
    } cases[] = {{1234, 56, L"1234"}, {12345, 56, L"12345"}, {123456, 120, L"123456"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        CWideString text(base.c_str());
        text.AppendFormat(L"%d", c.value);
        EXPECT_EQ(text.GetCapacity(), c.capacity);
        EXPECT_EQ(std::wstring(text.GetText()), base + c.tail);
    }
}

TEST(CWideString, AppendToAFullBlockOrNoStorageMeasuresFirst) {
    const std::wstring full(55, L'f');  // capacity 120, no terminator room left after 119
    CWideString text(full.c_str());
    text.AppendFormat(L"%s", std::wstring(64, L't').c_str());  // 119 characters: fits
    EXPECT_EQ(text.GetCapacity(), 120u);
    EXPECT_EQ(text.GetLength(), 119u);
    text.AppendFormat(L"%s", L"u");  // no room to try: measured 1, EnsureCapacity(120): 184
    EXPECT_EQ(text.GetCapacity(), 184u);
    EXPECT_EQ(std::wstring(text.GetText()), full + std::wstring(64, L't') + L"u");

    CWideString none;
    none.AppendFormat(L"%s=%d", L"n", 5);
    EXPECT_EQ(none.GetCapacity(), 56u);
    EXPECT_STREQ(none.GetText(), L"n=5");
}

TEST(CWideString, FormatReplacesTheTextOrActsAsAppend) {
    CWideString text(L"old text");
    const wchar_t* block = text.GetBuffer();
    text.Format(L"%s %u", L"new", 2u);
    EXPECT_STREQ(text.GetText(), L"new 2");
    EXPECT_EQ(text.GetBuffer(), block);

    CWideString none;
    none.Format(L"%c%C", L'a', 'b');
    EXPECT_STREQ(none.GetText(), L"ab");
}

TEST(CWideString, LengthIsZeroWithoutATerminatorInTheBlock) {
    CWideString text(L"");
    wchar_t* chars = text.GetBuffer();
    for (uint64_t i = 0; i < text.GetCapacity(); ++i) {
        chars[i] = L'x';
    }
    EXPECT_EQ(text.GetLength(), 0u);
    chars[7] = L'\0';
    EXPECT_EQ(text.GetLength(), 7u);
}

TEST(CWideString, MovesHandOverTheBlock) {
    CWideString source(L"moved");
    const wchar_t* block = source.GetBuffer();
    CWideString target(std::move(source));
    EXPECT_EQ(source.GetBuffer(), nullptr);
    EXPECT_EQ(target.GetBuffer(), block);

    CWideString assigned(L"replaced");
    assigned = std::move(target);
    EXPECT_EQ(assigned.GetBuffer(), block);
    EXPECT_STREQ(assigned.GetText(), L"moved");
    assigned.Release();
    EXPECT_EQ(assigned.GetBuffer(), nullptr);
    EXPECT_EQ(assigned.GetLength(), 0u);
}

TEST(CWideString, NullFormatAppendsNothing) {
    CWideString text(L"kept");
    text.AppendFormat(nullptr);
    EXPECT_STREQ(text.GetText(), L"kept");
}

}  // namespace
