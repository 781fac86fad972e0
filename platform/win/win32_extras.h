// win32_extras.h: what the Windows build needs beyond <windows.h> (things mingw lacks).
#pragma once

#include <malloc.h>  // _aligned_malloc, _aligned_free
