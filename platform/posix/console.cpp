// console.cpp: the standard streams as consoles: attributes as ANSI colour sequences on a
// terminal, nothing elsewhere.
#include "platform/win32.h"

#include <atomic>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Pseudo-handle values: far from heap addresses and from the layer's other handles.
constexpr uintptr_t kStdHandleBase = 0x4B560000;
constexpr WORD kDefaultAttributes = 0x07;

std::atomic<WORD> g_attributes[3] = {kDefaultAttributes, kDefaultAttributes, kDefaultAttributes};

// 0 stdin, 1 stdout, 2 stderr; -1 for anything else.
int StreamIndex(HANDLE console) {
    const auto value = reinterpret_cast<uintptr_t>(console);
    return value >= kStdHandleBase && value < kStdHandleBase + 3
               ? static_cast<int>(value - kStdHandleBase)
               : -1;
}

FILE* Stream(int index) {
    return index == 1 ? stdout : stderr;
}

// Only output streams are screen buffers; standard input fails as on Windows.
bool IsTerminal(int index) {
    return (index == 1 || index == 2) && isatty(index) == 1;
}

// Win32 colour bits are blue 1, green 2, red 4; ANSI colour numbers are red 1, green 2, blue 4.
int AnsiColour(unsigned bits) {
    return ((bits & 4u) != 0 ? 1 : 0) | ((bits & 2u) != 0 ? 2 : 0) | ((bits & 1u) != 0 ? 4 : 0);
}

}  // namespace

HANDLE GetStdHandle(DWORD id) {
    if (id != STD_INPUT_HANDLE && id != STD_OUTPUT_HANDLE && id != STD_ERROR_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    const uintptr_t index = static_cast<DWORD>(-10) - id;  // 0, 1, 2
    return reinterpret_cast<HANDLE>(kStdHandleBase + index);
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, PCONSOLE_SCREEN_BUFFER_INFO info) {
    const int index = StreamIndex(console);
    if (!IsTerminal(index) || info == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int16_t columns = 80;
    int16_t rows = 25;
    winsize size{};
    if (ioctl(index, TIOCGWINSZ, &size) == 0 && size.ws_col != 0 && size.ws_row != 0) {
        columns = static_cast<int16_t>(size.ws_col > 0x7FFF ? 0x7FFF : size.ws_col);
        rows = static_cast<int16_t>(size.ws_row > 0x7FFF ? 0x7FFF : size.ws_row);
    }
    *info = CONSOLE_SCREEN_BUFFER_INFO{};
    info->dwSize = {columns, rows};
    info->wAttributes = g_attributes[index].load(std::memory_order_relaxed);
    info->srWindow = {0, 0, static_cast<int16_t>(columns - 1), static_cast<int16_t>(rows - 1)};
    info->dwMaximumWindowSize = {columns, rows};
    return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
    const int index = StreamIndex(console);
    if (!IsTerminal(index)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_attributes[index].store(attributes, std::memory_order_relaxed);
    const unsigned foreground = attributes & 0x0Fu;
    const unsigned background = (attributes >> 4) & 0x0Fu;
    if ((attributes & 0xFFu) == kDefaultAttributes) {
        std::fputs("\x1b[0m", Stream(index));
        return TRUE;
    }
    const int fg = foreground == 0x07  ? 39
                   : (foreground & 8u) ? 90 + AnsiColour(foreground)
                                       : 30 + AnsiColour(foreground);
    const int bg = background == 0     ? 49
                   : (background & 8u) ? 100 + AnsiColour(background)
                                       : 40 + AnsiColour(background);
    std::fprintf(Stream(index), "\x1b[0;%d;%dm", fg, bg);
    return TRUE;
}
