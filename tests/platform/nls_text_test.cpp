// Tests of FormatMessageW, LocalAlloc/LocalFree and WideCharToMultiByte as Win32 does them.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kSystemFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

TEST(FormatMessageW, KnownCodesGiveOneSentenceAndCrLf) {
    for (const DWORD code : {0u, 2u, 3u, 5u, 32u, 87u, 112u, 183u, 1012u}) {
        SCOPED_TRACE(code);
        LPWSTR text = nullptr;
        const DWORD n = FormatMessageW(kSystemFlags, nullptr, code, 0x400,
                                       reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        ASSERT_NE(text, nullptr);
        ASSERT_GT(n, 3u);
        EXPECT_EQ(wcslen(text), n);
        EXPECT_EQ(std::wstring(text + n - 3), L".\r\n");
        EXPECT_EQ(std::wstring(text).find_first_of(L"\r\n"), n - 2);
        EXPECT_EQ(LocalFree(text), nullptr);
    }
}

TEST(FormatMessageW, UnknownCodeGivesZeroNullAnd317) {
    LPWSTR text = reinterpret_cast<LPWSTR>(&text);  // anything but null
    SetLastError(0);
    EXPECT_EQ(FormatMessageW(kSystemFlags, nullptr, 0x12345, 0x400, reinterpret_cast<LPWSTR>(&text),
                             0, nullptr),
              0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(GetLastError(), 317u);
}

TEST(FormatMessageW, CallerBufferMustHoldTheText) {
    wchar_t small[4];
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2,
                             0, small, 4, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), 122u);
    wchar_t big[512];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, 2, 0, big, 512, nullptr);
    EXPECT_GT(n, 0u);
    EXPECT_EQ(wcslen(big), n);
}

TEST(LocalAlloc, FixedAndZeroedBlocks) {
    auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(zeroed[i], 0);
    }
    EXPECT_EQ(LocalFree(zeroed), nullptr);
    void* empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(LocalFree(empty), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

std::string Utf8(const wchar_t* text, int count = -1) {
    char out[64];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, count, out, 64, nullptr, nullptr);
    return n > 0 ? std::string(out, static_cast<size_t>(n)) : "<fail>";
}

TEST(WideCharToMultiByte, Utf8Forms) {
    EXPECT_EQ(Utf8(L"hello"), std::string("hello\0", 6));
    EXPECT_EQ(Utf8(L"hello", 5), "hello");
    EXPECT_EQ(Utf8(L"\u00e9\u20ac", 2), "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(Utf8(L"\U0001F600", -1), std::string("\xf0\x9f\x98\x80\0", 5));
    // A lone surrogate becomes U+FFFD.
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    EXPECT_EQ(Utf8(lone, 3), "a\xef\xbf\xbd"
                             "b");
}

TEST(WideCharToMultiByte, SizeQueryCountsTheTerminatorOnlyForMinusOne) {
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"hello", -1, nullptr, 0, nullptr, nullptr), 6);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"hello", 5, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u20ac", -1, nullptr, 0, nullptr, nullptr), 4);
    // Any negative count means the whole terminated text.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"abc", -2, nullptr, 0, nullptr, nullptr), 4);
}

TEST(WideCharToMultiByte, TooSmallFillsTheBufferWithoutTerminator) {
    char out[8];
    std::memset(out, '#', sizeof(out));
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"hello", -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(std::string(out, 4), "hel#");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"hello", 5, out, 5, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(out, 6), "hello#");
}

TEST(WideCharToMultiByte, BadArgumentsGive87) {
    char out[8];
    const struct {
        const wchar_t* source;
        int count;
        int size;
    } cases[] = {{L"abc", 0, 8}, {nullptr, -1, 8}, {L"abc", -1, -1}, {L"abc", -1, -8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " " << c.size);
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, c.source, c.count, out, c.size, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), 87u);
    }
}

#if !defined(_WIN32)
// Off Windows the ANSI code page is UTF-8; a given default character replaces what UTF-8
// cannot hold.
TEST(WideCharToMultiByte, AnsiIsUtf8OffWindows) {
    char out[16];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, out, 16, nullptr, nullptr), 3);
    EXPECT_STREQ(out, "\xc3\xa9");
    const wchar_t lone[] = {L'x', static_cast<wchar_t>(0xDC00), 0};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, out, 16, "?", &used), 3);
    EXPECT_STREQ(out, "x?");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, out, 16, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), 87u);
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, out, 16, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), 1113u);
}
#endif

}  // namespace
