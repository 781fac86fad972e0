// file_sharing.cpp: the share-mode registry of open file handles.
#include "platform/posix/file_sharing.h"

#include <functional>
#include <unordered_map>
#include <vector>

namespace {

struct IdHash {
    size_t operator()(const KvxFileId& id) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(id.inode) * 1000003u ^
                                     static_cast<uint64_t>(id.device));
    }
};

struct Opener {
    const void* owner;
    DWORD access;
    DWORD share;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<KvxFileId, std::vector<Opener>, IdHash> files;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // outlives handles closed at exit
    return *registry;
}

}  // namespace

std::unique_lock<std::mutex> KvxLockFileSharing() {
    return std::unique_lock<std::mutex>(TheRegistry().lock);
}

bool KvxSharingAllows(const KvxFileId& id, DWORD access, DWORD share) {
    const Registry& registry = TheRegistry();
    const auto found = registry.files.find(id);
    if (found == registry.files.end()) {
        return true;
    }
    for (const Opener& other : found->second) {
        if ((access & ~other.share) != 0 || (other.access & ~share) != 0) {
            return false;
        }
    }
    return true;
}

void KvxSharingAdd(const KvxFileId& id, const void* owner, DWORD access, DWORD share) {
    Registry& registry = TheRegistry();
    std::vector<Opener>& openers = registry.files[id];
    try {
        openers.push_back(Opener{owner, access, share});
    } catch (...) {
        if (openers.empty()) {
            registry.files.erase(id);  // no empty entry stays behind
        }
        throw;
    }
}

void KvxSharingRemove(const KvxFileId& id, const void* owner) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.files.find(id);
    if (found == registry.files.end()) {
        return;
    }
    std::vector<Opener>& openers = found->second;
    for (auto it = openers.begin(); it != openers.end(); ++it) {
        if (it->owner == owner) {
            openers.erase(it);
            break;
        }
    }
    if (openers.empty()) {
        registry.files.erase(found);
    }
}
