// api_console.h: the POSIX layer's GetStdHandle, GetConsoleScreenBufferInfo,
// SetConsoleTextAttribute.
#pragma once

#include "kvx/win32_types.h"
