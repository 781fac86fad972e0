// file_paths.cpp: Win32 paths to POSIX file names.
#include "platform/posix/file_paths.h"

#include "platform/win32.h"

#include <sys/stat.h>

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsBadNameChar(unsigned char c) {
    return (c >= 1 && c <= 31) || c == '?' || c == '*' || c == '<' || c == '>' || c == '|' ||
           c == '"';
}

// Checks the name's characters, turns separators into `/` and notes a trailing one.
DWORD Finish(std::string&& raw, KvxFilePath& out) {
    if (raw.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    for (char& c : raw) {
        if (IsBadNameChar(static_cast<unsigned char>(c))) {
            return ERROR_INVALID_NAME;
        }
        if (c == '\\') {
            c = '/';
        }
    }
    out.trailingSeparator = raw.back() == '/';
    while (raw.size() > 1 && raw.back() == '/') {
        raw.pop_back();
    }
    out.name = std::move(raw);
    return 0;
}

}  // namespace

std::string KvxWideToUtf8(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p != 0; ++p) {
        uint32_t cp = static_cast<uint32_t>(*p);
        if (cp >= 0xD800 && cp <= 0xDBFF && static_cast<uint32_t>(p[1]) >= 0xDC00 &&
            static_cast<uint32_t>(p[1]) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
            ++p;
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

DWORD KvxFilePathFromWide(LPCWSTR path, KvxFilePath& out) {
    if (path == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    return Finish(KvxWideToUtf8(path), out);
}

DWORD KvxFilePathFromNarrow(LPCSTR path, KvxFilePath& out) {
    if (path == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    return Finish(std::string(path), out);
}

DWORD KvxMissingFileError(const std::string& name) {
    const size_t slash = name.rfind('/');
    std::string folder;
    if (slash == std::string::npos) {
        folder = ".";
    } else if (slash == 0) {
        folder = "/";
    } else {
        folder = name.substr(0, slash);
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}
