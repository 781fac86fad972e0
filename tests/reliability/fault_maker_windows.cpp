// fault_maker_windows.cpp: I/O faults on Windows. The full device exists only under Wine (the
// host's /dev/full as Z:\dev\full); Windows has no per-process file size limit and lets no
// unprivileged process link a name to a device, and it refuses to delete or cut a file that is
// open without the matching sharing, which is the behaviour those cases then check.
#include "fault_maker.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace kvx_faults {

namespace {

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

constexpr wchar_t kWineFullDevice[] = L"Z:\\dev\\full";

}  // namespace

bool FullDevicePath(std::wstring& path, std::string& reason) {
    // Wine reports no attributes for a device: try opening it.
    const HANDLE device = UnderWine() ? CreateFileW(kWineFullDevice, GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                      : INVALID_HANDLE_VALUE;
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
    }
    if (device == INVALID_HANDLE_VALUE) {
        reason = "Windows has no full device (Wine reaches the host's /dev/full as Z:\\dev\\full)";
        return false;
    }
    path = kWineFullDevice;
    return true;
}

bool LinkToFullDevice(const std::filesystem::path&, std::string& reason) {
    reason = "Windows lets no unprivileged process give a device a second name";
    return false;
}

bool RunWithFileSizeLimit(uint64_t, const std::function<int()>&, int&, std::string& reason) {
    reason = "Windows has no per-process file size limit to fill a disk part-way";
    return false;
}

bool DeleteOpenFile(const std::filesystem::path& file, int& error) {
    if (!DeleteFileW(file.wstring().c_str())) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool CutOpenFile(const std::filesystem::path& file, uint64_t bytes, int& error) {
    const HANDLE h = CreateFileW(file.wstring().c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(bytes);
    const bool cut = SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    error = cut ? 0 : static_cast<int>(GetLastError());
    CloseHandle(h);
    return cut;
}

StdoutOnFullDevice::StdoutOnFullDevice() {
    if (!UnderWine()) {
        _reason = "Windows has no full device to point standard output at";
        return;
    }
    const int full = _wopen(kWineFullDevice, _O_WRONLY | _O_BINARY);
    if (full < 0) {
        _reason = "Z:\\dev\\full could not be opened";
        return;
    }
    std::fflush(stdout);
    _saved = _dup(1);
    _dup2(full, 1);
    _close(full);
}

StdoutOnFullDevice::~StdoutOnFullDevice() {
    if (_saved >= 0) {
        std::fflush(stdout);
        std::clearerr(stdout);
        _dup2(_saved, 1);
        _close(_saved);
    }
}

}  // namespace kvx_faults
