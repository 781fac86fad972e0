// win32_extras.h: what the Windows build needs beyond <windows.h> (things mingw lacks), and
// the runtime headers whose Win32-style functions the library calls.
#pragma once

#include <malloc.h>   // _aligned_malloc, _aligned_free
#include <process.h>  // _beginthreadex, _endthreadex
