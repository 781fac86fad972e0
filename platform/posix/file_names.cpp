// file_names.cpp: operations on files by name: GetFileAttributesW/A, DeleteFileW/A.
#include "platform/posix/file_paths.h"
#include "platform/posix/file_sharing.h"
#include "platform/win32.h"

#include <cerrno>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DWORD StatError(int error, const std::string& name) {
    switch (error) {
    case ENOENT:
        return KvxMissingFileError(name);
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    default:
        return KvxWin32ErrorFromErrno(error);
    }
}

DWORD Attributes(DWORD pathError, const KvxFilePath& path) {
    if (pathError != 0) {
        SetLastError(pathError);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info {};
    if (stat(path.name.c_str(), &info) != 0) {
        SetLastError(StatError(errno, path.name));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    if (path.trailingSeparator) {
        SetLastError(ERROR_PATH_NOT_FOUND);  // "file\" names a folder that is not one
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}

BOOL Delete(DWORD pathError, const KvxFilePath& path) {
    if (pathError != 0) {
        SetLastError(pathError);
        return FALSE;
    }
    auto sharingGuard = KvxLockFileSharing();
    struct stat info {};
    if (stat(path.name.c_str(), &info) != 0) {
        SetLastError(StatError(errno, path.name));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (path.trailingSeparator) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // Deleting is an open for DELETE access that shares everything else.
    const KvxFileId id{info.st_dev, info.st_ino};
    if (!KvxSharingAllows(id, FILE_SHARE_DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (unlink(path.name.c_str()) != 0) {
        SetLastError(StatError(errno, path.name));
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// Win32 calls report a lack of memory (for the converted name) as an error code, never as an
// exception.
DWORD GetFileAttributesW(LPCWSTR fileName) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromWide(fileName, path);
        return Attributes(error, path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_FILE_ATTRIBUTES;
    }
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromNarrow(fileName, path);
        return Attributes(error, path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_FILE_ATTRIBUTES;
    }
}

BOOL DeleteFileW(LPCWSTR fileName) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromWide(fileName, path);
        return Delete(error, path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL DeleteFileA(LPCSTR fileName) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromNarrow(fileName, path);
        return Delete(error, path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
