// path.cpp: _wsplitpath_s and _wmakepath_s.
#include "platform/win32.h"

#include <cerrno>
#include <cwchar>

namespace {

struct Part {
    wchar_t* buffer;
    size_t size;
};

bool Valid(const Part& part) {
    return (part.buffer == nullptr && part.size == 0) || (part.buffer != nullptr && part.size != 0);
}

void Clear(const Part& part) {
    if (part.buffer != nullptr) {
        part.buffer[0] = L'\0';
    }
}

// Copies [begin, end) into the part; false when it does not fit with its terminator.
bool Store(const Part& part, const wchar_t* begin, const wchar_t* end) {
    if (part.buffer == nullptr) {
        return true;
    }
    const auto length = static_cast<size_t>(end - begin);
    if (length >= part.size) {
        return false;
    }
    std::wmemcpy(part.buffer, begin, length);
    part.buffer[length] = L'\0';
    return true;
}

}  // namespace

errno_t _wsplitpath_s(const wchar_t* path, wchar_t* drive, size_t driveSize, wchar_t* dir,
                      size_t dirSize, wchar_t* fname, size_t fnameSize, wchar_t* ext,
                      size_t extSize) {
    const Part parts[4] = {{drive, driveSize}, {dir, dirSize}, {fname, fnameSize}, {ext, extSize}};
    bool valid = path != nullptr;
    for (const Part& part : parts) {
        valid = valid && Valid(part);
    }
    if (!valid) {
        for (const Part& part : parts) {
            if (part.size != 0) {
                Clear(part);
            }
        }
        return EINVAL;
    }
    const wchar_t* end = path + std::wcslen(path);
    const wchar_t* rest = path;
    if (path[0] != L'\0' && path[1] == L':') {
        rest = path + 2;
    }
    const wchar_t* name = rest;
    for (const wchar_t* p = rest; p != end; ++p) {
        if (*p == L'\\' || *p == L'/') {
            name = p + 1;
        }
    }
    const wchar_t* dot = end;
    for (const wchar_t* p = name; p != end; ++p) {
        if (*p == L'.') {
            dot = p;
        }
    }
    if (!Store(parts[0], path, rest) || !Store(parts[1], rest, name) ||
        !Store(parts[2], name, dot) || !Store(parts[3], dot, end)) {
        for (const Part& part : parts) {
            Clear(part);
        }
        return ERANGE;
    }
    return 0;
}

errno_t _wmakepath_s(wchar_t* path, size_t size, const wchar_t* drive, const wchar_t* dir,
                     const wchar_t* fname, const wchar_t* ext) {
    if (path == nullptr || size == 0) {
        return EINVAL;
    }
    size_t used = 0;
    bool fits = true;
    const auto put = [&](wchar_t c) {
        if (used + 1 < size) {
            path[used++] = c;
        } else {
            fits = false;
        }
    };
    if (drive != nullptr && drive[0] != L'\0') {
        put(drive[0]);
        put(L':');
    }
    if (dir != nullptr && dir[0] != L'\0') {
        const size_t length = std::wcslen(dir);
        for (size_t i = 0; i < length; ++i) {
            put(dir[i]);
        }
        if (dir[length - 1] != L'\\' && dir[length - 1] != L'/') {
            put(L'\\');
        }
    }
    for (const wchar_t* p = fname; p != nullptr && *p != L'\0'; ++p) {
        put(*p);
    }
    if (ext != nullptr && ext[0] != L'\0') {
        if (ext[0] != L'.') {
            put(L'.');
        }
        for (const wchar_t* p = ext; *p != L'\0'; ++p) {
            put(*p);
        }
    }
    if (!fits) {
        path[0] = L'\0';
        return ERANGE;
    }
    path[used] = L'\0';
    return 0;
}
