// File layer tests of what only our POSIX layer decides: separators, name conversion,
// errno mapping, and handle-table safety under threads.
#include "platform/posix/file_paths.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(FilePathsPosix, BackslashSeparatesFolders) {
    KvxTempDir dir;
    fs::create_directory(dir.File("sub"));
    const std::string name = dir.NFile("sub") + "\\made.txt";
    HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(fs::exists(dir.File("sub") / "made.txt"));
    EXPECT_EQ(GetFileAttributesA((dir.NFile("sub") + "\\").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FilePathsPosix, WideTextBecomesUtf8) {
    const struct {
        std::wstring in;
        std::string out;
    } cases[] = {
        {L"plain", "plain"},
        {L"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
        {std::wstring{wchar_t(0x1F600)}, "\xF0\x9F\x98\x80"},
        {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"},  // UTF-16 pair
        {std::wstring{wchar_t(0xD83D), L'x'}, "\xEF\xBF\xBDx"},                // lone surrogate
        {std::wstring{wchar_t(0x110000)}, "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KvxWideToUtf8(c.in.c_str()), c.out);
    }
}

TEST(FilesPosix, FullDiskFailsWithDiskFull) {
    HANDLE h = CreateFileA("/dev/full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 99;
    EXPECT_FALSE(WriteFile(h, "abc", 3, &put, nullptr));
    EXPECT_EQ(GetLastError(), 112u);
    EXPECT_EQ(put, 0u);
    CloseHandle(h);
}

// A file size limit stands in for a disk that fills part-way through a write.
TEST(FilesPosix, WriteThatRunsOutOfRoomIsShortThenFails) {
    KvxTempDir dir;
    const std::string name = dir.NFile("limited.bin");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        DWORD put = 0;
        const BOOL first = WriteFile(h, "0123456", 7, &put, nullptr);
        const bool firstOk = first && put == 7;
        const BOOL second = WriteFile(h, "abcdef", 6, &put, nullptr);
        const bool secondShort = second && put == 3;
        const BOOL third = WriteFile(h, "x", 1, &put, nullptr);
        const bool thirdFails = !third && put == 0 && GetLastError() == 112;
        _exit(firstOk && secondShort && thirdFails ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(KvxReadFile(name), "0123456abc");
}

TEST(FilesPosix, NoPermissionIsAccessDenied) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root bypasses permission bits";
    }
    KvxTempDir dir;
    KvxWriteFile(dir.File("ro.txt"), "x");
    chmod(dir.NFile("ro.txt").c_str(), 0444);
    SetLastError(0);
    EXPECT_EQ(CreateFileA(dir.NFile("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 5u);
    // Existence is checked first.
    EXPECT_EQ(
        CreateFileA(dir.NFile("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 80u);
}

TEST(FilesPosix, ReadOnlyModeShowsAsReadOnlyAttribute) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("ro.txt"), "x");
    chmod(dir.NFile("ro.txt").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesA(dir.NFile("ro.txt").c_str()), 0x21u);
}

// Threads read through a handle while another closes it: every call either works or reports
// error 6, and nothing crashes (the sanitizer builds check the memory side).
TEST(HandlesPosix, CloseWhileOtherThreadsUseTheHandle) {
    KvxTempDir dir;
    KvxWriteFile(dir.File("race.txt"), std::string(4096, 'r'));
    for (int round = 0; round < 50; ++round) {
        HANDLE h = CreateFileA(dir.NFile("race.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::atomic<int> unexpected{0};
        std::vector<std::thread> readers;
        for (int t = 0; t < 3; ++t) {
            readers.emplace_back([&] {
                char buffer[64];
                for (int i = 0; i < 200; ++i) {
                    DWORD got = 0;
                    if (!ReadFile(h, buffer, sizeof buffer, &got, nullptr) && GetLastError() != 6) {
                        ++unexpected;
                    }
                }
            });
        }
        EXPECT_TRUE(CloseHandle(h));
        for (auto& t : readers) {
            t.join();
        }
        EXPECT_EQ(unexpected.load(), 0);
    }
}

}  // namespace
