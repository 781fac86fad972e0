// log_test_util.h: helpers shared by the logging tests.
#pragma once

#include "kvx/foundation.h"
#include "platform/win32.h"

#include <filesystem>
#include <string>
#include <vector>

// 2026-03-05 07:08:09.010 UTC and the start of the next day, on the FILETIME scale.
constexpr uint64_t kMarch5At070809010 = 134171680890100000ULL;
constexpr uint64_t kMarch6Midnight = 134172288000000000ULL;
constexpr uint64_t kTicksPerDay = 864000000000ULL;
constexpr uint64_t kTicksPerHour = 36000000000ULL;

inline kvx_datetime At(uint64_t ticks) {
    kvx_datetime value;
    value.ticks = ticks;
    return value;
}

// The platform's texts of a value, narrow (null-picture texts differ between the builds).
inline std::string Narrow(const CWideString& text) {
    std::string out;
    for (const wchar_t* p = text.GetText(); *p != L'\0'; ++p) {
        out += static_cast<char>(*p);  // date and time texts of the test values are ASCII
    }
    return out;
}

// Splits a file into its lines, each without its "\n"; a last line without one is kept too.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// A name of 300 characters below `root`, in folders of 40 characters made until the folder
// path is about 200 characters long.
inline std::string OverlongName(const std::filesystem::path& root) {
    std::filesystem::path folder = root;
    while (folder.string().size() < 190) {
        folder /= std::string(40, 'd');
    }
    std::filesystem::create_directories(folder);
    const std::string prefix = folder.string() + static_cast<char>(folder.preferred_separator);
    return prefix + std::string(300 - prefix.size(), 'f');
}

// Moves the library's clock so that "now" is `ticks` plus the time since the call; undone by
// the destructor.
class ClockAt {
public:
    explicit ClockAt(uint64_t ticks) {
        KvxSetClockShift(0);
        KvxSetClockShift(static_cast<int64_t>(ticks - KvxNowTicks()));
    }
    ~ClockAt() { KvxSetClockShift(0); }
    ClockAt(const ClockAt&) = delete;
    ClockAt& operator=(const ClockAt&) = delete;
};
