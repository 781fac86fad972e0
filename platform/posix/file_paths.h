// file_paths.h: turning the Win32 path a caller gives into the POSIX file name to use.
#pragma once

#include "kvx/win32_types.h"

#include <string>

// A POSIX file name made from a Win32 path: UTF-8 (wide input) or the bytes as given
// (narrow input), each `\` turned into `/`, and trailing separators removed (`/` alone stays).
struct KvxFilePath {
    std::string name;
    bool trailingSeparator = false;  // the path ended in `\` or `/`
};

// Fill `out` and return 0, or return the Win32 error for a path that names nothing:
// 3 (ERROR_PATH_NOT_FOUND) for a null or empty path, 123 (ERROR_INVALID_NAME) for
// `? * < > | "` or a control character 1-31 anywhere in it.
DWORD KvxFilePathFromWide(LPCWSTR path, KvxFilePath& out);
DWORD KvxFilePathFromNarrow(LPCSTR path, KvxFilePath& out);

// The error for a name that does not exist: 2 (ERROR_FILE_NOT_FOUND) when its folder exists,
// else 3 (ERROR_PATH_NOT_FOUND), also when a component of the folder is a file.
DWORD KvxMissingFileError(const std::string& name);

// Wide text as UTF-8. wchar_t holds UTF-32 here; a UTF-16 surrogate pair is joined, and
// a lone surrogate or a value past U+10FFFF becomes U+FFFD.
std::string KvxWideToUtf8(const wchar_t* text);
