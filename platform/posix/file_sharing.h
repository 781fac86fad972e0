// file_sharing.h: the share-mode check between the open file handles of this process.
//
// Every open file handle registers its access and share mode under the file's identity
// (device and inode). A new open is refused when the share mode of any registered handle
// excludes its access, or when its own share mode excludes the access of any registered one.
// Access and share are both in FILE_SHARE_* bits: READ 1, WRITE 2, DELETE 4.
#pragma once

#include "kvx/win32_types.h"

#include <sys/types.h>

#include <mutex>

struct KvxFileId {
    dev_t device;
    ino_t inode;
    bool operator==(const KvxFileId&) const = default;
};

// The one lock of the registry. Hold it across the check and the registration of an open,
// and across the check and the removal of a delete, so no other thread slips in between.
std::unique_lock<std::mutex> KvxLockFileSharing();

// With the lock held: whether an open with these access and share bits may join the handles
// already registered for the file.
bool KvxSharingAllows(const KvxFileId& id, DWORD access, DWORD share);

// With the lock held: registers an open handle, identified by `owner`. Throws std::bad_alloc
// when memory runs out, leaving the registry as it was.
void KvxSharingAdd(const KvxFileId& id, const void* owner, DWORD access, DWORD share);

// Takes the lock itself: removes the registration made for `owner`.
void KvxSharingRemove(const KvxFileId& id, const void* owner);
