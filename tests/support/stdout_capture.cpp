// stdout_capture.cpp: the per-platform redirection of standard output for tests.
#include "support/stdout_capture.h"

#include "support/temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <random>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define KVX_DUP _dup
#define KVX_DUP2 _dup2
#define KVX_CLOSE _close
#else
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#define KVX_DUP dup
#define KVX_DUP2 dup2
#define KVX_CLOSE close
#endif

namespace {
std::string FreshPath() {
    std::random_device rd;
    return (std::filesystem::temp_directory_path() /
            ("kvx-stdout-" + std::to_string(rd()) + "-" + std::to_string(rd()) + ".txt"))
        .string();
}
}  // namespace

bool KvxStdoutCapture::Supported(Target target) {
#if defined(_WIN32)
    return target == kFile;
#else
    (void)target;
    return true;
#endif
}

KvxStdoutCapture::KvxStdoutCapture(Target target) : _target(target) {
    std::fflush(stdout);
    _saved = KVX_DUP(1);
    int fd = -1;
#if !defined(_WIN32)
    if (target == kTerminal) {
        _reader = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(_reader);
        unlockpt(_reader);
        fd = open(ptsname(_reader), O_RDWR | O_NOCTTY);
        // Raw mode keeps LF as LF; the line discipline's default turns it into CR LF.
        termios mode{};
        if (fd >= 0 && tcgetattr(fd, &mode) == 0) {
            cfmakeraw(&mode);
            tcsetattr(fd, TCSANOW, &mode);
        }
    }
#endif
    if (fd < 0) {
        _target = kFile;
        _path = FreshPath();
        FILE* file = std::fopen(_path.c_str(), "wb");
        std::fclose(file);
#if defined(_WIN32)
        fd = _open(_path.c_str(), _O_WRONLY | _O_BINARY);
#else
        fd = open(_path.c_str(), O_WRONLY);
#endif
    }
    KVX_DUP2(fd, 1);
    KVX_CLOSE(fd);
}

KvxStdoutCapture::~KvxStdoutCapture() {
    Finish();
}

std::string KvxStdoutCapture::Finish() {
    if (_finished) {
        return {};
    }
    _finished = true;
    std::fflush(stdout);
    std::string text;
#if !defined(_WIN32)
    if (_target == kTerminal) {
        fcntl(_reader, F_SETFL, O_NONBLOCK);
        char buffer[4096];
        for (ssize_t n; (n = read(_reader, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
#endif
    KVX_DUP2(_saved, 1);
    KVX_CLOSE(_saved);
#if !defined(_WIN32)
    if (_reader >= 0) {
        close(_reader);
    }
#endif
    if (_target == kFile) {
        text = KvxReadFile(_path);
        std::error_code ec;
        std::filesystem::remove(_path, ec);
    }
#if defined(_WIN32)
    // The runtime's text mode writes LF as CR LF; the tests compare what the library printed.
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.erase(at, 1);
    }
#endif
    return text;
}
