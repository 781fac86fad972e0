// api_files.h: the POSIX layer's CreateFileW/A, ReadFile, WriteFile, SetFilePointer,
// GetFileSizeEx, GetFileAttributesW/A, DeleteFileW/A, FlushFileBuffers and CloseHandle.
//
// Behaviour follows Win32 in what a caller can observe: return values, last-error codes and
// side effects. Notes on what differs from Windows off it:
// - Paths: wide paths are converted to UTF-8, narrow ones are used byte for byte. Both `\`
//   and `/` separate path components (a path written for Windows works unchanged), so a
//   POSIX file name that contains a backslash cannot be named. `? * < > | "` and the control
//   characters 1-31 anywhere in a path give error 123, as on Windows.
// - Sharing: share modes are enforced between the handles of this process, keyed by file
//   identity (device and inode, so hard links conflict too). Other processes are not
//   consulted.
// - Handles: a closed or made-up handle gives error 6 and never touches another object;
//   handle values are never reused.
// - Attributes: 0x10 for a directory, 0x20 for anything else, plus 0x01 (read-only) when the
//   mode has no write bit at all.
// - Asynchronous I/O is not supported: a non-null OVERLAPPED gives FALSE with error 87.
// All functions are thread-safe.
#pragma once

#include "kvx/win32_types.h"

struct _OVERLAPPED;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef LONG* PLONG;

#define GENERIC_READ 0x80000000U
#define GENERIC_WRITE 0x40000000U
#define GENERIC_EXECUTE 0x20000000U
#define GENERIC_ALL 0x10000000U
#define FILE_READ_DATA 0x0001U
#define FILE_WRITE_DATA 0x0002U
#define FILE_APPEND_DATA 0x0004U
#define DELETE 0x00010000U

#define FILE_SHARE_READ 0x00000001U
#define FILE_SHARE_WRITE 0x00000002U
#define FILE_SHARE_DELETE 0x00000004U

#define CREATE_NEW 1U
#define CREATE_ALWAYS 2U
#define OPEN_EXISTING 3U
#define OPEN_ALWAYS 4U
#define TRUNCATE_EXISTING 5U

#define FILE_ATTRIBUTE_READONLY 0x00000001U
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010U
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020U
#define FILE_ATTRIBUTE_NORMAL 0x00000080U
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_BEGIN 0U
#define FILE_CURRENT 1U
#define FILE_END 2U
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

// Opens or creates a file. Returns a new handle, or INVALID_HANDLE_VALUE with the last error:
// 2 missing file (OPEN_EXISTING, TRUNCATE_EXISTING), 3 missing folder, a file used as a folder,
// or an empty/null path, 5 no permission or the path is a folder, 80 CREATE_NEW of an existing
// name, 123 a bad character, or an existing file's path or a path to create ending in a
// separator, 32 a sharing conflict with a handle of this process, 87 an unknown disposition,
// 8 no memory left (never an exception). A refused open changes nothing. TRUNCATE_EXISTING
// truncates also without write access; a device (such as the full device) is opened with
// CREATE_ALWAYS or TRUNCATE_EXISTING and nothing is cut.
// Success sets the last error to 0, or to 183 when CREATE_ALWAYS (which truncates) or
// OPEN_ALWAYS found the file existing.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// Reads up to `toRead` bytes at the handle's position. TRUE with 0 bytes at the end of the
// file; TRUE with fewer bytes for a short read. FALSE with 6 (bad handle) or 5 (handle not
// opened for reading); the count is then 0.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);

// Writes `toWrite` bytes at the handle's position (at the end for an append-only handle).
// When the disk fills part-way it returns TRUE with the bytes written; the next call then
// fails with 112. FALSE with 6 (bad handle) or 5 (handle not opened for writing).
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               LPOVERLAPPED overlapped);

// Moves the handle's position; returns the low 32 bits of the new position (the high ones go
// to *distanceHigh when given). A move before the start gives INVALID_SET_FILE_POINTER with
// error 131 and keeps the position; a true result of 0xFFFFFFFF sets the last error to 0.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);

// The file's size. FALSE with 6 for a bad handle, 87 for a null result pointer.
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);

// Commits written data to the disk. FALSE with 6 for a bad handle, 5 for a read-only one.
BOOL FlushFileBuffers(HANDLE file);

// The attributes of a file or folder (see above), or INVALID_FILE_ATTRIBUTES with 2 (missing
// file), 3 (missing folder, empty path, or a file's path ending in a separator) or 123 (bad
// character).
DWORD GetFileAttributesW(LPCWSTR fileName);
DWORD GetFileAttributesA(LPCSTR fileName);

// Deletes a file. FALSE with 2/3 as for CreateFile, 5 for a folder, 32 when a handle of this
// process holds the file without FILE_SHARE_DELETE.
BOOL DeleteFileW(LPCWSTR fileName);
BOOL DeleteFileA(LPCSTR fileName);

// Closes any handle of the layer (files, and whatever else registers in the handle table).
// TRUE for INVALID_HANDLE_VALUE (the process pseudo-handle); FALSE with 6 for null, unknown
// or already closed handles.
BOOL CloseHandle(HANDLE object);
