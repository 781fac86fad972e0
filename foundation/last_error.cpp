// last_error.cpp: CQVLastError, the system-error text with an optional context.
#include "kvx/foundation.h"

#include "platform/win32.h"

#include <cwchar>

namespace {

constexpr DWORD kMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kUserDefaultLanguage = 0x400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)

int FormatInto(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = KvxFormatWideV(buffer, count, format, args);
    va_end(args);
    return result;
}

// The text for a code the system has no message for, in a local-heap block; sets `length`.
wchar_t* UnknownErrorText(uint32_t code, uint64_t& length) {
    constexpr size_t kChars = 64;
    auto* text = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, kChars * sizeof(wchar_t)));
    if (text != nullptr) {
        const int n = FormatInto(text, kChars, L"Unknown error %u (0x%08X).", code, code);
        length = n > 0 ? static_cast<uint64_t>(n) : 0;
    }
    return text;
}

}  // namespace

CQVLastError::CQVLastError(const wchar_t* context)
    : _messageText(nullptr), _narrowText(nullptr), _length(0), _errorCode(GetLastError()) {
    _length = FormatMessageW(kMessageFlags, nullptr, _errorCode, kUserDefaultLanguage,
                             reinterpret_cast<LPWSTR>(&_messageText), 0, nullptr);
    if (_messageText == nullptr) {
        _length = 0;
        _messageText = UnknownErrorText(_errorCode, _length);
    }
    TrimTrailingSpace(_messageText);
    if (context != nullptr && _messageText != nullptr) {
        _length += std::wcslen(context) + 10;
        auto* composed = static_cast<wchar_t*>(
            LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(_length * sizeof(wchar_t))));
        if (composed != nullptr) {
            FormatInto(composed, static_cast<size_t>(_length), L"%s (%s)", _messageText, context);
            LocalFree(_messageText);
            _messageText = composed;
        }
    }
    SetLastError(_errorCode);
}

CQVLastError::~CQVLastError() {
    LocalFree(_messageText);
    LocalFree(_narrowText);
}

const char* CQVLastError::GetNarrowText() {
    if (_narrowText != nullptr || _messageText == nullptr) {
        return _narrowText;
    }
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, _messageText, -1, nullptr, 0, nullptr, nullptr);
    uint64_t size = _length;
    if (needed > 0 && static_cast<uint64_t>(needed) > size) {
        size = static_cast<uint64_t>(needed);
    }
    if (size == 0) {
        size = 1;
    }
    auto* narrow = static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(size)));
    if (narrow == nullptr) {
        return nullptr;
    }
    if (WideCharToMultiByte(CP_ACP, 0, _messageText, -1, narrow, static_cast<int>(size), nullptr,
                            nullptr) <= 0) {
        narrow[0] = '\0';
    }
    narrow[size - 1] = '\0';
    _narrowText = narrow;
    return _narrowText;
}
