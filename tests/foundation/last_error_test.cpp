// Tests of CQVLastError: the captured code, the trimmed and composed texts, the narrow text.
#include "kvx/foundation.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::wstring TextFor(DWORD code, const wchar_t* context) {
    SetLastError(code);
    CQVLastError error(context);
    return error.GetText() != nullptr ? error.GetText() : L"<null>";
}

TEST(CQVLastError, CapturesTheCodeAndLeavesItSet) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    CQVLastError error;
    EXPECT_EQ(error.GetErrorCode(), 2u);
    EXPECT_EQ(GetLastError(), 2u);
}

TEST(CQVLastError, SystemTextIsTrimmedToOneSentence) {
    for (const DWORD code : {0u, 2u, 3u, 5u, 32u, 87u, 112u, 183u}) {
        SCOPED_TRACE(code);
        SetLastError(code);
        CQVLastError error;
        ASSERT_NE(error.GetText(), nullptr);
        const std::wstring text = error.GetText();
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), L'.');
        EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos);
        // The length is what FormatMessageW counted: the text plus its CR LF.
        EXPECT_EQ(error.GetLength(), text.size() + 2);
    }
}

TEST(CQVLastError, ContextIsAddedInParentheses) {
    const std::wstring plain = TextFor(ERROR_PATH_NOT_FOUND, nullptr);
    const struct {
        const wchar_t* context;
        const wchar_t* suffix;
    } cases[] = {
        {L"C:\\logs\\app.log", L" (C:\\logs\\app.log)"}, {L"", L" ()"}, {L"a (b)", L" (a (b))"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.suffix, c.suffix + wcslen(c.suffix)));
        SetLastError(ERROR_PATH_NOT_FOUND);
        CQVLastError error(c.context);
        EXPECT_EQ(std::wstring(error.GetText()), plain + c.suffix);
        // FormatMessageW's count (plain + CR LF) + the context's length + 10.
        EXPECT_EQ(error.GetLength(), plain.size() + 2 + wcslen(c.context) + 10);
    }
}

TEST(CQVLastError, CodeWithoutSystemTextGetsItsOwnText) {
    SetLastError(0x12345);
    CQVLastError error;
    EXPECT_STREQ(error.GetText(), L"Unknown error 74565 (0x00012345).");
    EXPECT_EQ(error.GetLength(), 33u);
    EXPECT_EQ(GetLastError(), 0x12345u);
    // The narrow text needs 34 bytes, one more than the length: it is still whole.
    EXPECT_STREQ(error.GetNarrowText(), "Unknown error 74565 (0x00012345).");

    SetLastError(0x12345);
    CQVLastError withContext(L"x");
    EXPECT_STREQ(withContext.GetText(), L"Unknown error 74565 (0x00012345). (x)");
    EXPECT_EQ(withContext.GetLength(), 44u);
}

TEST(CQVLastError, NarrowTextIsConvertedOnceAndKept) {
    SetLastError(ERROR_ACCESS_DENIED);
    CQVLastError error(L"D:\\data\\file.csv");
    const char* first = error.GetNarrowText();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(error.GetNarrowText(), first);
    const std::wstring wide = error.GetText();
    ASSERT_EQ(std::strlen(first), wide.size());  // the system texts are ASCII
    for (size_t i = 0; i < wide.size(); ++i) {
        EXPECT_EQ(static_cast<wchar_t>(first[i]), wide[i]);
    }
}

TEST(CQVLastError, NarrowTextHoldsMultiByteContextsWhole) {
    // Each of the 20 characters may need up to 3 bytes, far more than the 30 extra the context
    // adds to the length; the narrow text is still whole and ends with the parenthesis.
    const std::wstring context(20, L'\u20ac');
    SetLastError(ERROR_DISK_FULL);
    CQVLastError error(context.c_str());
    const char* narrow = error.GetNarrowText();
    ASSERT_NE(narrow, nullptr);
    const std::string text = narrow;
    EXPECT_EQ(text.back(), ')');
    EXPECT_GE(text.size(), 20u + 3u);
}

}  // namespace
