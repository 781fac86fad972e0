// handles.h: the POSIX layer's handle table, shared by every kind of kernel-style object.
//
// A HANDLE off Windows is a number from this table (a multiple of 4, never reused, never null
// or INVALID_HANDLE_VALUE). The table keeps each object alive through a shared pointer:
// CloseHandle removes the entry, and the object is destroyed when the last call still using
// it (for instance a ReadFile on another thread) lets go. So a stale or made-up handle finds
// nothing and gives ERROR_INVALID_HANDLE instead of touching freed memory.
// Every function is thread-safe.
#pragma once

#include "kvx/win32_types.h"

#include <atomic>
#include <memory>

// Base of every object kind the table holds. The destructor releases the object's resources.
class KvxHandleObject {
public:
    virtual ~KvxHandleObject() = default;
    // True once the object's handle has been closed. Lets a caller that keeps the object of a
    // handle it looked up earlier (handles are never reused) see that the handle is gone.
    bool IsClosed() const { return _closed.load(std::memory_order_acquire); }
    // Called by CloseHandle on the closing thread, once the handle is gone from the table and
    // before the table lets go of the object. Lets a kind drop what it keeps of the handle.
    virtual void Closed(HANDLE) noexcept {}

private:
    friend bool KvxHandleRemove(HANDLE handle);
    std::atomic<bool> _closed{false};
};

// Registers an object and returns its new handle.
HANDLE KvxHandleInsert(std::shared_ptr<KvxHandleObject> object);

// The object behind a handle, or null (and nothing else changes) when the handle is unknown.
std::shared_ptr<KvxHandleObject> KvxHandleLookup(HANDLE handle);

// The object behind a handle if it is of kind T, else null.
template <class T> std::shared_ptr<T> KvxHandleGet(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(KvxHandleLookup(handle));
}

// Removes a handle from the table; false if it was not there.
bool KvxHandleRemove(HANDLE handle);
