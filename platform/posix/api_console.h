// api_console.h: the POSIX layer's GetStdHandle, GetConsoleScreenBufferInfo,
// SetConsoleTextAttribute.
//
// The three standard handles stand for the C streams stdin, stdout and stderr. A stream that is
// a terminal acts as a console: it starts with the attributes 0x07 (grey on black, the
// terminal's own colours) and SetConsoleTextAttribute writes an ANSI colour sequence into the
// stream itself, so the change is ordered with text printed to that stream and takes effect
// when the stream is flushed. A stream that is not a terminal (a pipe, a file) is no console:
// both calls fail with error 6 and write nothing, as on Windows.
//
// Colour mapping: the foreground bits 0x1 blue, 0x2 green, 0x4 red become ANSI colours 30-37,
// or 90-97 with the intensity bit 0x8; the background bits 0x10-0x80 likewise 40-47/100-107.
// Grey foreground (0x07) and black background (0x00), the console's defaults, map to the
// terminal's default colours (39, 49), and 0x07 as a whole to a plain reset.
#pragma once

#include "kvx/win32_types.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

#define FOREGROUND_BLUE 0x0001
#define FOREGROUND_GREEN 0x0002
#define FOREGROUND_RED 0x0004
#define FOREGROUND_INTENSITY 0x0008
#define BACKGROUND_BLUE 0x0010
#define BACKGROUND_GREEN 0x0020
#define BACKGROUND_RED 0x0040
#define BACKGROUND_INTENSITY 0x0080

typedef struct _COORD {
    int16_t X;
    int16_t Y;
} COORD;

typedef struct _SMALL_RECT {
    int16_t Left;
    int16_t Top;
    int16_t Right;
    int16_t Bottom;
} SMALL_RECT;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO, *PCONSOLE_SCREEN_BUFFER_INFO;

// The handle of a standard stream; INVALID_HANDLE_VALUE with error 6 for another id. The
// handles are pseudo-handles: CloseHandle is not needed.
HANDLE GetStdHandle(DWORD id);

// TRUE and the current attributes (and the terminal's size, 80 x 25 when it cannot be read) for
// a standard stream that is a terminal; FALSE with error 6 otherwise.
BOOL GetConsoleScreenBufferInfo(HANDLE console, PCONSOLE_SCREEN_BUFFER_INFO info);

// Writes the ANSI sequence for the attributes' low byte into the stream and records them; TRUE.
// FALSE with error 6 when the handle is no standard stream or the stream is not a terminal.
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
