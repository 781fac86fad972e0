// fault_maker_posix.cpp: I/O faults on POSIX systems: /dev/full, a file size limit in a child
// process, and removing or cutting files behind their opener's back.
#include "fault_maker.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kvx_faults {

bool FullDevicePath(std::wstring& path, std::string& reason) {
    if (access("/dev/full", W_OK) != 0) {
        reason = "this system has no writable /dev/full";
        return false;
    }
    path = L"/dev/full";
    return true;
}

bool LinkToFullDevice(const std::filesystem::path& link, std::string& reason) {
    if (access("/dev/full", W_OK) != 0 || symlink("/dev/full", link.c_str()) != 0) {
        reason = "no symbolic link to a writable /dev/full could be made";
        return false;
    }
    return true;
}

bool RunWithFileSizeLimit(uint64_t bytes, const std::function<int()>& body, int& exitCode,
                          std::string& reason) {
    std::fflush(nullptr);  // nothing buffered is written twice, by parent and child
    const pid_t child = fork();
    if (child < 0) {
        reason = "fork failed";
        return false;
    }
    if (child == 0) {
        // Past the limit the system sends SIGXFSZ, which would end the process; ignored, the
        // write fails with EFBIG instead, which the file layer reports as a full disk.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(250);
        }
        _exit(body() & 0xFF);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            reason = "waitpid failed";
            return false;
        }
    }
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

bool DeleteOpenFile(const std::filesystem::path& file, int& error) {
    if (unlink(file.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool CutOpenFile(const std::filesystem::path& file, uint64_t bytes, int& error) {
    if (truncate(file.c_str(), static_cast<off_t>(bytes)) != 0) {
        error = errno;
        return false;
    }
    return true;
}

StdoutOnFullDevice::StdoutOnFullDevice() {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) {
        _reason = "this system has no writable /dev/full";
        return;
    }
    std::fflush(stdout);
    _saved = dup(1);
    dup2(full, 1);
    close(full);
}

StdoutOnFullDevice::~StdoutOnFullDevice() {
    if (_saved >= 0) {
        std::fflush(stdout);  // fails: what is still buffered is dropped with the stream's error
        std::clearerr(stdout);
        dup2(_saved, 1);
        close(_saved);
    }
}

}  // namespace kvx_faults
