// api_nls.h: the POSIX layer's WideCharToMultiByte, GetDateFormatEx, GetTimeFormatEx,
// FormatMessageW.
#pragma once

#include "kvx/win32_types.h"
