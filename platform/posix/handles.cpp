// handles.cpp: the handle table and CloseHandle.
#include "platform/posix/handles.h"

#include "platform/win32.h"

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace {

struct HandleTable {
    std::shared_mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KvxHandleObject>> objects;
    uintptr_t next = 0;
};

HandleTable& Table() {
    // Never destroyed: handles may still be closed from static destructors of other files.
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace

HANDLE KvxHandleInsert(std::shared_ptr<KvxHandleObject> object) {
    HandleTable& table = Table();
    std::unique_lock guard(table.lock);
    table.next += 4;
    const uintptr_t value = table.next;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KvxHandleObject> KvxHandleLookup(HANDLE handle) {
    HandleTable& table = Table();
    std::shared_lock guard(table.lock);
    const auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return found == table.objects.end() ? nullptr : found->second;
}

bool KvxHandleRemove(HANDLE handle) {
    std::shared_ptr<KvxHandleObject> removed;
    HandleTable& table = Table();
    {
        std::unique_lock guard(table.lock);
        const auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (found == table.objects.end()) {
            return false;
        }
        removed = std::move(found->second);
        table.objects.erase(found);
        removed->_closed.store(true, std::memory_order_release);
    }
    removed->Closed(handle);
    // `removed` is released here, outside the lock: a destructor may take other locks.
    return true;
}

BOOL CloseHandle(HANDLE object) {
    if (object == INVALID_HANDLE_VALUE) {
        return TRUE;  // the current-process pseudo-handle
    }
    if (!KvxHandleRemove(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
