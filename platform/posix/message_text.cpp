// message_text.cpp: FormatMessageW with the library's own texts for the codes the layer
// produces.
#include "platform/win32.h"

#include <cwchar>

namespace {

struct Message {
    DWORD code;
    const wchar_t* text;
};

// One sentence each, without the CR LF that every text gets.
const Message kMessages[] = {
    {0, L"The operation completed successfully."},
    {2, L"The file was not found."},
    {3, L"The path was not found."},
    {4, L"Too many files are open."},
    {5, L"Access is denied."},
    {6, L"The handle is not valid."},
    {8, L"There is not enough memory for this command."},
    {14, L"There is not enough memory to complete this operation."},
    {31, L"A device attached to the system is not working."},
    {32, L"The file is in use by another process."},
    {38, L"The end of the file was reached."},
    {80, L"The file exists."},
    {87, L"A parameter is not valid."},
    {112, L"The disk is full."},
    {122, L"The buffer given to a system call is too small."},
    {123, L"The file name, folder name or volume label syntax is not valid."},
    {131, L"The file pointer cannot be moved before the start of the file."},
    {183, L"The file already exists."},
    {206, L"The file name or extension is too long."},
    {258, L"The wait timed out."},
    {317, L"No message text exists for this message number."},
    {1004, L"The flags are not valid."},
    {1012, L"No more data could be read."},
    {1113, L"A character has no mapping in the target code page."},
    {1400, L"The window handle is not valid."},
    {1410, L"The window class already exists."},
};

const wchar_t* FindMessage(DWORD code) {
    for (const Message& message : kMessages) {
        if (message.code == code) {
            return message.text;
        }
    }
    return nullptr;
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments) {
    (void)source;
    (void)languageId;
    (void)arguments;
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (allocate && buffer != nullptr) {
        *reinterpret_cast<LPWSTR*>(buffer) = nullptr;
    }
    if ((flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) != 0 ||
        (flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const wchar_t* text = FindMessage(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const bool oneLine = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const size_t length = std::wcslen(text);
    const size_t count = length + (oneLine ? 0 : 2);
    LPWSTR out = buffer;
    if (allocate) {
        // The block holds at least `size` characters, as on Windows.
        const size_t chars = count + 1 > size ? count + 1 : size;
        out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, chars * sizeof(wchar_t)));
        if (out == nullptr) {
            return 0;
        }
    } else if (count + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(out, text, length);
    if (!oneLine) {
        out[length] = L'\r';
        out[length + 1] = L'\n';
    }
    out[count] = L'\0';
    if (allocate) {
        *reinterpret_cast<LPWSTR*>(buffer) = out;
    }
    return static_cast<DWORD>(count);
}
