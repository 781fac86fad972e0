// fault_maker.h: the I/O faults of the fault-injection tests, made the way each platform
// allows (fault_maker_posix.cpp, fault_maker_windows.cpp).
//
// A maker that the platform cannot serve returns false and says why in `reason`; the test then
// skips that case with the reason, so a skipped case is visible in the test output.
#pragma once

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// In a test body: calls `maker(arguments..., reason)` and skips the test with the reason when
// the platform cannot make the fault.
#define KVX_FAULT_OR_SKIP(maker, ...)                                                              \
    if (std::string kvx_reason; !maker(__VA_ARGS__, kvx_reason))                                   \
    GTEST_SKIP() << kvx_reason

namespace kvx_faults {

// A path whose every write fails with "disk full" from the first byte: the full device.
bool FullDevicePath(std::wstring& path, std::string& reason);

// Makes `link` a second name of the full device, for the callers that add an ending of their
// own to the name they are given.
bool LinkToFullDevice(const std::filesystem::path& link, std::string& reason);

// Runs `body` in a child process whose files cannot grow past `bytes`: the write that reaches
// the limit is cut short and every later one fails with "disk full", as on a disk that fills
// up. `exitCode` is body's result (0..255), or -1 when the child did not end normally (a crash).
// Use no test assertions inside `body`: report through the result.
bool RunWithFileSizeLimit(uint64_t bytes, const std::function<int()>& body, int& exitCode,
                          std::string& reason);

// Removes `file` by name while this process holds it open, as another program would. Returns
// true when it is gone (POSIX: anyone may remove an open file); false when the system refused
// (Windows: a file open without delete sharing), with the system's error code in `error`.
bool DeleteOpenFile(const std::filesystem::path& file, int& error);

// Cuts `file` to `bytes` by name while this process holds it open, as another program would.
// true when cut; false with the system's error code when refused.
bool CutOpenFile(const std::filesystem::path& file, uint64_t bytes, int& error);

// Holds a file open as another program would, with the given access and sharing (by default
// reading, sharing reading only, so no writer may join it). Creates the file when it is missing.
class Holder {
public:
    explicit Holder(const std::filesystem::path& file, DWORD access = GENERIC_READ,
                    DWORD share = FILE_SHARE_READ)
        : _handle(CreateFileW(file.wstring().c_str(), access, share, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Holder() { Release(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Held() const { return _handle != INVALID_HANDLE_VALUE; }
    void Release() {
        if (_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(_handle);
            _handle = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE _handle;
};

// Points standard output (the descriptor and the C stream) at the full device while it lives.
class StdoutOnFullDevice {
public:
    StdoutOnFullDevice();
    ~StdoutOnFullDevice();
    StdoutOnFullDevice(const StdoutOnFullDevice&) = delete;
    StdoutOnFullDevice& operator=(const StdoutOnFullDevice&) = delete;

    bool Active() const { return _saved >= 0; }
    const std::string& Reason() const { return _reason; }

private:
    int _saved = -1;
    std::string _reason;
};

}  // namespace kvx_faults
