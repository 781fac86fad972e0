// api_files.h: the POSIX layer's CreateFileW/A, ReadFile, WriteFile, SetFilePointer, GetFileSizeEx,
// GetFileAttributesW, CloseHandle.
#pragma once

#include "kvx/win32_types.h"
