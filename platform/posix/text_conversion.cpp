// text_conversion.cpp: WideCharToMultiByte to UTF-8, the ANSI code page off Windows.
#include "platform/win32.h"

#include <cwchar>

namespace {

bool IsAnsi(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

int Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

// The UTF-8 form of one code point (valid: not a surrogate, at most U+10FFFF) in `out`.
int EncodeUtf8(uint32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (wide == nullptr || wideCount == 0 || multiByteCount < 0 ||
        (multiByte == nullptr && multiByteCount != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!IsAnsi(codePage) && codePage != CP_UTF8) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & ~WC_ERR_INVALID_CHARS) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const size_t count = wideCount < 0 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideCount);
    const bool useDefault = IsAnsi(codePage) && defaultChar != nullptr;
    bool usedDefault = false;
    size_t written = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = static_cast<uint32_t>(wide[i]);
        char bytes[4];
        int n;
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            if ((flags & WC_ERR_INVALID_CHARS) != 0) {
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            if (useDefault) {
                bytes[0] = defaultChar[0];
                n = 1;
                usedDefault = true;
            } else {
                n = EncodeUtf8(0xFFFD, bytes);
            }
        } else {
            n = EncodeUtf8(c, bytes);
        }
        if (multiByteCount != 0) {
            if (written + static_cast<size_t>(n) > static_cast<size_t>(multiByteCount)) {
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            for (int k = 0; k < n; ++k) {
                multiByte[written + static_cast<size_t>(k)] = bytes[k];
            }
        }
        written += static_cast<size_t>(n);
        if (written > 0x7FFFFFFF) {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    return static_cast<int>(written);
}
