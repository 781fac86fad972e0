// fault_maker.h: the I/O faults of the fault-injection tests, made the way each platform
// allows (fault_maker_posix.cpp, fault_maker_windows.cpp).
//
// A maker that the platform cannot serve returns false and says why in `reason`; the test then
// skips that case with the reason, so a skipped case is visible in the test output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

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
