// Tests of the console calls: colour attributes on a terminal, failure elsewhere.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// Points standard output at a fresh pseudo-terminal for the test's lifetime; Output() returns
// what reached the terminal.
class PtyStdout {
public:
    PtyStdout() {
        _master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(_master, 0);
        grantpt(_master);
        unlockpt(_master);
        const int slave = open(ptsname(_master), O_RDWR | O_NOCTTY);
        EXPECT_GE(slave, 0);
        std::fflush(stdout);
        _saved = dup(1);
        dup2(slave, 1);
        close(slave);
    }
    ~PtyStdout() {
        std::fflush(stdout);
        dup2(_saved, 1);
        close(_saved);
        close(_master);
    }
    std::string Output() {
        std::fflush(stdout);
        std::string text;
        char buffer[512];
        fcntl(_master, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = read(_master, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

private:
    int _master = -1;
    int _saved = -1;
};

TEST(Console, TerminalAttributesBecomeAnsiSequencesInTheStream) {
    PtyStdout pty;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ(info.wAttributes, 0x07);
    const struct {
        WORD attributes;
        const char* sequence;
    } cases[] = {
        {FOREGROUND_RED, "\x1b[0;31;49m"},
        {FOREGROUND_GREEN | FOREGROUND_INTENSITY, "\x1b[0;92;49m"},
        {FOREGROUND_BLUE | FOREGROUND_RED | BACKGROUND_GREEN, "\x1b[0;35;42m"},
        {0x0F | BACKGROUND_BLUE | BACKGROUND_INTENSITY, "\x1b[0;97;104m"},
        {0x07 | BACKGROUND_RED, "\x1b[0;39;41m"},
        {0x0000, "\x1b[0;30;49m"},
        {0x0007, "\x1b[0m"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        ASSERT_TRUE(SetConsoleTextAttribute(out, c.attributes));
        std::printf("x");
        EXPECT_EQ(pty.Output(), std::string(c.sequence) + "x");
        ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
        EXPECT_EQ(info.wAttributes, c.attributes);
    }
}
#endif

TEST(Console, RedirectedOutputIsNoConsole) {
    // Under ctest the standard output is a pipe, on Linux and under Wine alike.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    SetLastError(0);
    if (GetConsoleScreenBufferInfo(out, &info)) {
        GTEST_SKIP() << "standard output is a terminal";
    }
    EXPECT_EQ(GetLastError(), 6u);
    SetLastError(0);
    EXPECT_FALSE(SetConsoleTextAttribute(out, 0x0C));
    EXPECT_EQ(GetLastError(), 6u);
}

}  // namespace
