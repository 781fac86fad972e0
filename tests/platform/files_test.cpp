// File layer tests, pinned to observed Win32 behaviour; they run against the real Win32 on
// Windows and against our layer elsewhere.
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kRW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kUnset = 0x5EED;  // a last-error value no call here produces

struct Opened {
    HANDLE handle;
    DWORD error;
};

Opened OpenW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    SetLastError(kUnset);
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    return {h, GetLastError()};
}

// Closes a handle at the end of a scope.
class Handle {
public:
    explicit Handle(HANDLE h) : _h(h) {}
    ~Handle() {
        if (_h != INVALID_HANDLE_VALUE) {
            CloseHandle(_h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return _h; }

private:
    HANDLE _h;
};

std::string ReadAll(HANDLE h) {
    std::string out;
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    return out;
}

bool Write(HANDLE h, const std::string& bytes) {
    DWORD put = 0;
    return WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size();
}

TEST(CreateFile, RefusalsGiveTheWin32Codes) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("file.txt"), "x");
    fs::create_directory(dir.File("folder"));
    const struct {
        const char* name;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {"missing.txt", GENERIC_READ, OPEN_EXISTING, 2},
        {"missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING, 2},
        {"nodir/x.txt", GENERIC_READ, OPEN_EXISTING, 3},
        {"nodir/x.txt", kRW, CREATE_ALWAYS, 3},
        {"nodir/x.txt", kRW, OPEN_ALWAYS, 3},
        {"nodir/x.txt", kRW, CREATE_NEW, 3},
        {"file.txt/x.txt", kRW, OPEN_ALWAYS, 3},
        {"folder", GENERIC_READ, OPEN_EXISTING, 5},
        {"folder", kRW, OPEN_ALWAYS, 5},
        {"folder", kRW, CREATE_ALWAYS, 5},
        {"folder", kRW, CREATE_NEW, 80},
        {"file.txt", kRW, CREATE_NEW, 80},
        {"a?b.txt", kRW, CREATE_ALWAYS, 123},
        {"a*b.txt", kRW, CREATE_ALWAYS, 123},
        {"a<b.txt", kRW, CREATE_ALWAYS, 123},
        {"a>b.txt", kRW, CREATE_ALWAYS, 123},
        {"a|b.txt", kRW, CREATE_ALWAYS, 123},
        {"a\"b.txt", kRW, CREATE_ALWAYS, 123},
        {"file.txt\\", GENERIC_READ, OPEN_EXISTING, 123},
        {"file.txt\\", kRW, CREATE_ALWAYS, 123},
        {"folder\\", GENERIC_READ, OPEN_EXISTING, 5},
        {"missing\\", GENERIC_READ, OPEN_EXISTING, 2},
        {"missing\\", kRW, CREATE_ALWAYS, 123},
        {"nodir\\x\\", GENERIC_READ, OPEN_EXISTING, 3},
        {"nodir\\x\\", kRW, CREATE_ALWAYS, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Opened o = OpenW(dir.WFile(c.name), c.access, 0, c.disposition);
        EXPECT_EQ(o.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(o.error, c.error);
    }
    EXPECT_EQ(KvxReadFile(dir.File("file.txt")), "x");
    EXPECT_FALSE(fs::exists(dir.File("nodir")));
}

TEST(CreateFile, EmptyOrNullPathIsPathNotFound) {
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS}) {
        SetLastError(kUnset);
        EXPECT_EQ(CreateFileW(L"", kRW, 0, nullptr, disposition, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), 3u);
        SetLastError(kUnset);
        EXPECT_EQ(CreateFileW(nullptr, kRW, 0, nullptr, disposition, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), 3u);
        SetLastError(kUnset);
        EXPECT_EQ(CreateFileA("", kRW, 0, nullptr, disposition, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), 3u);
    }
}

TEST(CreateFile, DispositionsOnExistingAndMissingFiles) {
    KvxTempDir dir;
    const struct {
        const char* name;
        bool exists;
        DWORD disposition;
        DWORD error;
        const char* contentAfter;
    } cases[] = {
        {"a", true, CREATE_ALWAYS, 183, ""},  {"b", true, OPEN_ALWAYS, 183, "old"},
        {"c", true, OPEN_EXISTING, 0, "old"}, {"d", true, TRUNCATE_EXISTING, 0, ""},
        {"e", false, CREATE_NEW, 0, ""},      {"f", false, CREATE_ALWAYS, 0, ""},
        {"g", false, OPEN_ALWAYS, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.exists) {
            KvxWriteFile(dir.File(c.name), "old");
        }
        const Opened o = OpenW(dir.WFile(c.name), kRW, 0, c.disposition);
        ASSERT_NE(o.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(ReadAll(o.handle), c.contentAfter);
        EXPECT_TRUE(CloseHandle(o.handle));
        EXPECT_TRUE(fs::exists(dir.File(c.name)));
    }
}

TEST(CreateFile, TruncateExistingNeedsNoWriteAccess) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("t.txt"), "old");
    const Opened o = OpenW(dir.WFile("t.txt"), GENERIC_READ, 0, TRUNCATE_EXISTING);
    ASSERT_NE(o.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(o.error, 0u);
    CloseHandle(o.handle);
    EXPECT_EQ(KvxReadFile(dir.File("t.txt")), "");
}

TEST(CreateFile, NarrowAndWideNamesOpenTheSameFile) {
    KvxTempDir dir;
    const Opened w = OpenW(dir.WFile("same.txt"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    Handle wh(w.handle);
    ASSERT_TRUE(Write(wh.get(), "shared"));
    SetLastError(kUnset);
    Handle ah(CreateFileA(dir.NFile("same.txt").c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(ah.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(ReadAll(ah.get()), "shared");
}

TEST(CreateFile, WideNamesReachNonAsciiFileNames) {
    KvxTempDir dir;
    const std::wstring name = dir.path().wstring() + L"/d\u00e9j\u00e0 \u00fc\u20ac.txt";
    const Opened o = OpenW(name, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(o.handle, INVALID_HANDLE_VALUE);
    CloseHandle(o.handle);
    EXPECT_TRUE(fs::exists(dir.path() / fs::path(u8"d\u00e9j\u00e0 \u00fc\u20ac.txt")));
}

// Pairs of opens, tried in both orders: whether the second one is refused with 32.
TEST(CreateFile, ShareModesAreCheckedBothWays) {
    KvxTempDir dir;
    struct Open {
        DWORD access;
        DWORD share;
        DWORD disposition;
    };
    const Open writerShareRead{kRW, FILE_SHARE_READ, OPEN_ALWAYS};
    const Open readerShareRead{GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
    const Open readerShareNone{GENERIC_READ, 0, OPEN_EXISTING};
    const Open writerCreateShareNone{GENERIC_WRITE, 0, CREATE_ALWAYS};
    const Open readerShareReadWrite{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING};
    const struct {
        const char* label;
        Open first;
        Open second;
        bool refused;
    } cases[] = {
        {"writer twice", writerShareRead, writerShareRead, true},
        {"writer then reader sharing read", writerShareRead, readerShareRead, true},
        {"reader sharing nothing twice", readerShareNone, readerShareNone, true},
        {"writer sharing nothing and reader", writerCreateShareNone, readerShareRead, true},
        {"readers sharing read", readerShareRead, readerShareRead, false},
        {"writer and reader sharing write", writerShareRead, readerShareReadWrite, false},
    };
    for (const auto& c : cases) {
        for (int order = 0; order < 2; ++order) {
            SCOPED_TRACE(std::string(c.label) + (order == 0 ? " (in order)" : " (reversed)"));
            const fs::path file = dir.File("shared.txt");
            KvxWriteFile(file, "content");
            const Open& a = order == 0 ? c.first : c.second;
            const Open& b = order == 0 ? c.second : c.first;
            const Opened first = OpenW(file.wstring(), a.access, a.share, a.disposition);
            ASSERT_NE(first.handle, INVALID_HANDLE_VALUE);
            if (a.disposition == CREATE_ALWAYS) {
                ASSERT_TRUE(Write(first.handle, "content"));
            }
            const Opened second = OpenW(file.wstring(), b.access, b.share, b.disposition);
            if (c.refused) {
                EXPECT_EQ(second.handle, INVALID_HANDLE_VALUE);
                EXPECT_EQ(second.error, 32u);
            } else {
                EXPECT_NE(second.handle, INVALID_HANDLE_VALUE);
                CloseHandle(second.handle);
            }
            CloseHandle(first.handle);
        }
    }
}

TEST(CreateFile, WriterThatCreatedTheFileExcludesASecondWriter) {
    KvxTempDir dir;
    const Opened first = OpenW(dir.WFile("new.txt"), kRW, FILE_SHARE_READ, OPEN_ALWAYS);
    Handle h(first.handle);
    ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(first.error, 0u);
    const Opened second = OpenW(dir.WFile("new.txt"), kRW, FILE_SHARE_READ, OPEN_ALWAYS);
    EXPECT_EQ(second.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(second.error, 32u);
}

TEST(CreateFile, RefusedCreateAlwaysLeavesTheContent) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("keep.txt"), "precious");
    const Opened reader =
        OpenW(dir.WFile("keep.txt"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    Handle h(reader.handle);
    ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
    const Opened writer = OpenW(dir.WFile("keep.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(writer.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(writer.error, 32u);
    EXPECT_EQ(ReadAll(h.get()), "precious");
}

TEST(CreateFile, SharingFollowsTheFileNotItsName) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("original.txt"), "x");
    fs::create_hard_link(dir.File("original.txt"), dir.File("link.txt"));
    const Opened first = OpenW(dir.WFile("original.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    Handle h(first.handle);
    ASSERT_NE(h.get(), INVALID_HANDLE_VALUE);
    const Opened second =
        OpenW(dir.WFile("link.txt"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(second.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(second.error, 32u);
}

TEST(CreateFile, SharingAppliesAcrossThreadsAndEndsAtClose) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("t.txt"), "x");
    const Opened first = OpenW(dir.WFile("t.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(first.handle, INVALID_HANDLE_VALUE);
    Opened fromThread{};
    std::thread([&] {
        fromThread = OpenW(dir.WFile("t.txt"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    }).join();
    EXPECT_EQ(fromThread.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fromThread.error, 32u);
    // Read through just before closing: the file must not stay open behind this thread's use.
    char byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(first.handle, &byte, 1, &got, nullptr));
    EXPECT_TRUE(CloseHandle(first.handle));
    const Opened again = OpenW(dir.WFile("t.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(again.handle, INVALID_HANDLE_VALUE);
    CloseHandle(again.handle);
}

TEST(DeleteFile, NeedsEveryHolderToShareDelete) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("held.txt"), "x");
    const Opened held = OpenW(dir.WFile("held.txt"), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    SetLastError(kUnset);
    EXPECT_FALSE(DeleteFileW(dir.WFile("held.txt").c_str()));
    EXPECT_EQ(GetLastError(), 32u);
    CloseHandle(held.handle);

    const Opened sharing = OpenW(dir.WFile("held.txt"), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(sharing.handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileW(dir.WFile("held.txt").c_str()));
    CloseHandle(sharing.handle);
    SetLastError(kUnset);
    EXPECT_EQ(GetFileAttributesW(dir.WFile("held.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 2u);

    SetLastError(kUnset);
    EXPECT_FALSE(DeleteFileW(dir.WFile("held.txt").c_str()));
    EXPECT_EQ(GetLastError(), 2u);
    SetLastError(kUnset);
    EXPECT_FALSE(DeleteFileW(dir.WFile("nodir/held.txt").c_str()));
    EXPECT_EQ(GetLastError(), 3u);
}

TEST(ReadWrite, EndOfFileShortReadAndWrongAccess) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("r.txt"), "abcdef");
    const Opened r = OpenW(dir.WFile("r.txt"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    Handle rh(r.handle);
    char buffer[16] = {};
    DWORD got = 99;
    SetLastError(kUnset);
    ASSERT_TRUE(ReadFile(rh.get(), buffer, 4, &got, nullptr));
    EXPECT_EQ(got, 4u);
    ASSERT_TRUE(ReadFile(rh.get(), buffer, 16, &got, nullptr));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    ASSERT_TRUE(ReadFile(rh.get(), buffer, 16, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), kUnset);  // success leaves the last error alone

    DWORD put = 99;
    EXPECT_FALSE(WriteFile(rh.get(), "x", 1, &put, nullptr));
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_EQ(put, 0u);

    const Opened w = OpenW(dir.WFile("w.txt"), GENERIC_WRITE, 0, CREATE_NEW);
    Handle wh(w.handle);
    got = 99;
    EXPECT_FALSE(ReadFile(wh.get(), buffer, 4, &got, nullptr));
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(Write(wh.get(), "12345"));
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(wh.get(), &size));  // also on a write-only handle
    EXPECT_EQ(size.QuadPart, 5);
}

TEST(SetFilePointer, MovesFromEachOriginAndRefusesNegativePositions) {
    KvxTempDir dir;
    const Opened o = OpenW(dir.WFile("seek.txt"), kRW, 0, CREATE_NEW);
    Handle h(o.handle);
    ASSERT_TRUE(Write(h.get(), "0123456789"));
    SetLastError(kUnset);
    EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_END), 10u);
    EXPECT_EQ(SetFilePointer(h.get(), -3, nullptr, FILE_END), 7u);
    EXPECT_EQ(SetFilePointer(h.get(), -2, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(h.get(), 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(GetLastError(), kUnset);

    EXPECT_EQ(SetFilePointer(h.get(), -3, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u);
    EXPECT_EQ(SetFilePointer(h.get(), -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u);
    char c = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h.get(), &c, 1, &got, nullptr));
    EXPECT_EQ(c, '2');  // the refused moves kept the position

    LONG high = 0;
    EXPECT_EQ(SetFilePointer(h.get(), 1, &high, FILE_BEGIN), 1u);
    EXPECT_EQ(high, 0);
}

TEST(SetFilePointer, PositionAllOnesIsASuccessWithLastErrorZero) {
    KvxTempDir dir;
    const Opened o = OpenW(dir.WFile("big.txt"), kRW, 0, CREATE_NEW);
    Handle h(o.handle);
    LONG high = 0;
    SetLastError(kUnset);
    // -1 with a high part of 0 is the position 0x00000000FFFFFFFF.
    EXPECT_EQ(SetFilePointer(h.get(), -1, &high, FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(GetLastError(), 0u);
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(h.get(), &size));
    EXPECT_EQ(size.QuadPart, 0);  // moving alone does not grow the file
}

TEST(SetFilePointer, WritingPastTheEndZeroFillsTheGap) {
    KvxTempDir dir;
    const Opened o = OpenW(dir.WFile("gap.txt"), kRW, 0, CREATE_NEW);
    Handle h(o.handle);
    ASSERT_TRUE(Write(h.get(), "ab"));
    EXPECT_EQ(SetFilePointer(h.get(), 5, nullptr, FILE_BEGIN), 5u);
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(h.get(), &size));
    EXPECT_EQ(size.QuadPart, 2);
    ASSERT_TRUE(Write(h.get(), "z"));
    EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_EQ(ReadAll(h.get()), std::string("ab\0\0\0z", 6));
}

TEST(Handles, InvalidNullAndClosedHandlesGiveErrorSix) {
    KvxTempDir dir;
    const Opened o = OpenW(dir.WFile("c.txt"), kRW, 0, CREATE_NEW);
    ASSERT_NE(o.handle, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(o.handle, "ab", 2, &wrote, nullptr));  // the handle used last
    EXPECT_TRUE(CloseHandle(o.handle));
    const HANDLE bad[] = {INVALID_HANDLE_VALUE, nullptr, o.handle};
    for (HANDLE h : bad) {
        char buffer[4];
        DWORD count = 99;
        SetLastError(kUnset);
        EXPECT_FALSE(ReadFile(h, buffer, 4, &count, nullptr));
        EXPECT_EQ(GetLastError(), 6u);
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_FALSE(WriteFile(h, "abcd", 4, &count, nullptr));
        EXPECT_EQ(GetLastError(), 6u);
        EXPECT_EQ(count, 0u);
        LARGE_INTEGER size{};
        SetLastError(kUnset);
        EXPECT_FALSE(GetFileSizeEx(h, &size));
        EXPECT_EQ(GetLastError(), 6u);
        SetLastError(kUnset);
        EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), 6u);
    }
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
    SetLastError(kUnset);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), 6u);
    SetLastError(kUnset);
    EXPECT_FALSE(CloseHandle(o.handle));
    EXPECT_EQ(GetLastError(), 6u);
}

TEST(GetFileAttributes, FilesFoldersAndMissingNames) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("f.txt"), "x");
    fs::create_directory(dir.File("sub"));
    const Opened held = OpenW(dir.WFile("f.txt"), GENERIC_READ, 0, OPEN_EXISTING);
    Handle h(held.handle);
    const struct {
        std::wstring path;
        DWORD result;
        DWORD error;
    } cases[] = {
        {dir.WFile("f.txt"), 0x20, kUnset},  // also while held with share 0
        {dir.WFile("sub"), 0x10, kUnset},
        {dir.WFile("missing.txt"), INVALID_FILE_ATTRIBUTES, 2},
        {dir.WFile("nodir/missing.txt"), INVALID_FILE_ATTRIBUTES, 3},
        {L"", INVALID_FILE_ATTRIBUTES, 3},
        {dir.WFile("f.txt") + L"\\", INVALID_FILE_ATTRIBUTES, 3},
        {dir.WFile("sub") + L"\\", 0x10, kUnset},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        SetLastError(kUnset);
        EXPECT_EQ(GetFileAttributesW(c.path.c_str()), c.result);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
