// win32.h: the Win32 subset kvx uses, real on Windows and supplied by platform/ elsewhere.
// Library code includes this header and nothing platform-specific.
#pragma once

#if defined(_WIN32)
#include "kvx/win32_types.h"
#include "platform/win/win32_extras.h"
#else
#include "kvx/win32_types.h"
#include "platform/posix/win32_api.h"
#endif

#include "platform/clock.h"
#include "platform/runtime/runtime_api.h"
