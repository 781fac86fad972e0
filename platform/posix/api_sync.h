// api_sync.h: the POSIX layer's events, waits, slim reader/writer locks, critical sections.
#pragma once

#include "kvx/win32_types.h"
