// files.cpp: file handles: CreateFileW/A, ReadFile, WriteFile, SetFilePointer, GetFileSizeEx,
// FlushFileBuffers.
#include "platform/posix/file_paths.h"
#include "platform/posix/file_sharing.h"
#include "platform/posix/handles.h"
#include "platform/win32.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr DWORD kShareBits = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class KvxFile;

// The file of the handle this thread used last. A log writes each line in several pieces to
// one handle; those writes then skip the shared handle table (its lock, hash and cast). The
// entry does not keep the file open: it holds a weak reference, and as handles are never
// reused, a live object not yet closed found under the same handle value is that handle's.
// Closing a handle clears the closing thread's entry, so that the object's memory goes with
// its last user; another thread's entry holds it (not the file) until that thread's next
// file call or its end.
struct LastFile {
    HANDLE handle = nullptr;
    std::weak_ptr<KvxFile> file;
};
thread_local LastFile t_lastFile;

// One open file. It leaves the share registry and closes its descriptor when the last user
// lets go of it (see handles.h).
class KvxFile final : public KvxHandleObject {
public:
    KvxFile(int descriptor, KvxFileId fileId, DWORD accessBits)
        : fd(descriptor), id(fileId), access(accessBits) {}
    ~KvxFile() override {
        if (registered) {
            KvxSharingRemove(id, this);
        }
        close(fd);
    }
    KvxFile(const KvxFile&) = delete;
    KvxFile& operator=(const KvxFile&) = delete;

    void Closed(HANDLE handle) noexcept override {
        if (t_lastFile.handle == handle) {
            t_lastFile = LastFile{};
        }
    }

    const int fd;
    const KvxFileId id;
    const DWORD access;  // in FILE_SHARE_* bits
    // In the share registry. Until then the object may die under the registry lock.
    bool registered = false;
};

std::shared_ptr<KvxFile> FindFile(HANDLE handle) {
    LastFile& last = t_lastFile;
    if (last.handle == handle) {
        if (std::shared_ptr<KvxFile> file = last.file.lock(); file && !file->IsClosed()) {
            return file;
        }
    }
    std::shared_ptr<KvxFile> file = KvxHandleGet<KvxFile>(handle);
    last.handle = handle;
    last.file = file;
    return file;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL FailBool(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Desired access as FILE_SHARE_* bits, the terms share modes are written in.
DWORD AccessBits(DWORD desired) {
    DWORD bits = 0;
    if ((desired & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0) {
        bits |= FILE_SHARE_READ;
    }
    if ((desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0) {
        bits |= FILE_SHARE_WRITE;
    }
    if ((desired & (DELETE | GENERIC_ALL)) != 0) {
        bits |= FILE_SHARE_DELETE;
    }
    return bits;
}

DWORD OpenError(int error, const std::string& name) {
    switch (error) {
    case ENOENT:
        return KvxMissingFileError(name);
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EISDIR:
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    default:
        return KvxWin32ErrorFromErrno(error);
    }
}

HANDLE OpenFile(DWORD pathError, const KvxFilePath& path, DWORD desiredAccess, DWORD shareMode,
                DWORD disposition) {
    if (pathError != 0) {
        return Fail(pathError);
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD access = AccessBits(desiredAccess);
    const bool reads = (access & FILE_SHARE_READ) != 0;
    const bool writes = (access & FILE_SHARE_WRITE) != 0;
    if (path.trailingSeparator) {
        // "name\" may only name a folder, which CreateFile refuses like the folder itself; an
        // existing file gives 123, a missing name what a missing file gives (but 123 where
        // the name would be created).
        struct stat info {};
        if (stat(path.name.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                return Fail(disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
            }
            return Fail(ERROR_INVALID_NAME);
        }
        const DWORD missing = OpenError(errno, path.name);
        const bool opensOnly = disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING;
        return Fail(missing == ERROR_FILE_NOT_FOUND && !opensOnly ? ERROR_INVALID_NAME : missing);
    }

    int flags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    const bool appendOnly = (desiredAccess & FILE_APPEND_DATA) != 0 &&
                            (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
    if (appendOnly) {
        flags |= O_APPEND;
    }
    const bool creates =
        disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    const char* name = path.name.c_str();

    // The registry lock makes the open, the share check and the registration one step for
    // this process; truncation happens only once the open is allowed.
    auto sharingGuard = KvxLockFileSharing();
    int fd = -1;
    bool existed = true;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        if (creates) {
            fd = open(name, flags | O_CREAT | O_EXCL, 0666);
            if (fd >= 0) {
                existed = false;
                break;
            }
            if (errno != EEXIST || disposition == CREATE_NEW) {
                break;
            }
        }
        fd = open(name, flags);
        // A file removed between the two calls: try creating it again.
        if (fd < 0 && (errno != ENOENT || !creates)) {
            break;
        }
    }
    if (fd < 0) {
        return Fail(OpenError(errno, path.name));
    }

    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    const KvxFileId id{info.st_dev, info.st_ino};
    if (!KvxSharingAllows(id, access, shareMode & kShareBits)) {
        close(fd);  // the file existed (a new one has no other opener), so nothing to undo
        return Fail(ERROR_SHARING_VIOLATION);
    }
    // Everything that needs memory comes before the truncation: an open that fails for want of
    // memory leaves an existing file as it was, as any other refused open does.
    std::shared_ptr<KvxFile> file;
    try {
        file = std::make_shared<KvxFile>(fd, id, access);
    } catch (const std::bad_alloc&) {
        close(fd);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    try {
        KvxSharingAdd(id, file.get(), access, shareMode & kShareBits);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);  // not registered: `file` just closes the descriptor
    }
    file->registered = true;
    HANDLE handle = nullptr;
    try {
        handle = KvxHandleInsert(file);
    } catch (const std::bad_alloc&) {
        sharingGuard.unlock();  // the file leaves the registry as it dies, which takes the lock
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    // Devices (the full device, a terminal, a pipe) have no length to cut: Windows opens them
    // with CREATE_ALWAYS too.
    if (existed && S_ISREG(info.st_mode) &&
        (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        // CREATE_ALWAYS empties the file even through a handle without write access.
        const int truncated = writes ? ftruncate(fd, 0) : truncate(name, 0);
        if (truncated != 0) {
            const int error = errno;
            KvxHandleRemove(handle);
            sharingGuard.unlock();
            return Fail(OpenError(error, path.name));
        }
    }
    sharingGuard.unlock();

    const bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(existed && reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

// Win32 calls report a lack of memory as an error code, never as an exception. OpenFile
// handles the steps after the system open itself; this catches the name conversion.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromWide(fileName, path);
        return OpenFile(error, path, desiredAccess, shareMode, creationDisposition);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    try {
        KvxFilePath path;
        const DWORD error = KvxFilePathFromNarrow(fileName, path);
        return OpenFile(error, path, desiredAccess, shareMode, creationDisposition);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read != nullptr) {
        *read = 0;
    }
    const auto f = FindFile(file);
    if (!f) {
        return FailBool(ERROR_INVALID_HANDLE);
    }
    if (overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    if ((f->access & FILE_SHARE_READ) == 0) {
        return FailBool(ERROR_ACCESS_DENIED);
    }
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < toRead) {
        const ssize_t got = ::read(f->fd, out + done, toRead - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (done == 0) {
                return FailBool(KvxWin32ErrorFromErrno(errno));
            }
            break;
        }
        if (got == 0) {
            break;  // end of file: TRUE with what was there
        }
        done += static_cast<size_t>(got);
    }
    if (read != nullptr) {
        *read = static_cast<DWORD>(done);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               LPOVERLAPPED overlapped) {
    if (written != nullptr) {
        *written = 0;
    }
    const auto f = FindFile(file);
    if (!f) {
        return FailBool(ERROR_INVALID_HANDLE);
    }
    if (overlapped != nullptr || (buffer == nullptr && toWrite != 0)) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    if ((f->access & FILE_SHARE_WRITE) == 0) {
        return FailBool(ERROR_ACCESS_DENIED);
    }
    const char* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < toWrite) {
        const ssize_t put = ::write(f->fd, in + done, toWrite - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (done == 0) {
                return FailBool(KvxWin32ErrorFromErrno(errno));
            }
            break;  // a full disk part-way: TRUE with the part; the next call reports it
        }
        if (put == 0) {
            break;
        }
        done += static_cast<size_t>(put);
    }
    if (written != nullptr) {
        *written = static_cast<DWORD>(done);
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    const auto f = FindFile(file);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move = distance;
    if (distanceHigh != nullptr) {
        move = static_cast<int64_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
            static_cast<uint32_t>(distance));
    }
    int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = lseek(f->fd, 0, SEEK_CUR);
    } else if (moveMethod == FILE_END) {
        struct stat info {};
        base = fstat(f->fd, &info) == 0 ? info.st_size : -1;
    } else if (moveMethod != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        SetLastError(KvxWin32ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (move < 0 && base + move < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (move > 0 && base > std::numeric_limits<int64_t>::max() - move) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + move;
    if (distanceHigh == nullptr && target > 0xFFFFFFFFLL) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the position would not fit the result
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(f->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        SetLastError(KvxWin32ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    }
    const DWORD low = static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
    if (low == INVALID_SET_FILE_POINTER) {
        SetLastError(ERROR_SUCCESS);  // lets the caller tell this position from a failure
    }
    return low;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    const auto f = FindFile(file);
    if (!f) {
        return FailBool(ERROR_INVALID_HANDLE);
    }
    if (size == nullptr) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    struct stat info {};
    if (fstat(f->fd, &info) != 0) {
        return FailBool(KvxWin32ErrorFromErrno(errno));
    }
    size->QuadPart = static_cast<LONGLONG>(info.st_size);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    const auto f = FindFile(file);
    if (!f) {
        return FailBool(ERROR_INVALID_HANDLE);
    }
    if ((f->access & FILE_SHARE_WRITE) == 0) {
        return FailBool(ERROR_ACCESS_DENIED);
    }
    if (fsync(f->fd) != 0) {
        return FailBool(KvxWin32ErrorFromErrno(errno));
    }
    return TRUE;
}
