// win32_api.h: declarations of the Win32 functions and constants that the POSIX layer
// implements, one header per concept.
#pragma once

#include "platform/posix/api_console.h"
#include "platform/posix/api_errors.h"
#include "platform/posix/api_files.h"
#include "platform/posix/api_heap.h"
#include "platform/posix/api_nls.h"
#include "platform/posix/api_path.h"
#include "platform/posix/api_sync.h"
#include "platform/posix/api_threads.h"
#include "platform/posix/api_time.h"
#include "platform/posix/api_window.h"
