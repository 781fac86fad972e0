// api_threads.h: the POSIX layer's _beginthreadex, _endthreadex, GetCurrentThreadId.
#pragma once

#include "kvx/win32_types.h"
