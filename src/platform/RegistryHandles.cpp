#include "platform/RegistryHandles.h"

#include <mutex>
#include <unordered_map>

namespace {

// Above every 32-bit value, so that no handle is mistaken for one of the two trees.
constexpr std::uintptr_t kFirstHandle = std::uintptr_t{1} << 32;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, OpenRegistryKey> keys;
    std::uintptr_t next = kFirstHandle;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

std::optional<RegistryHive> TreeOf(HKEY handle) {
    if (handle == HKEY_CLASSES_ROOT) {
        return RegistryHive::ClassesRoot;
    }
    if (handle == HKEY_LOCAL_MACHINE) {
        return RegistryHive::LocalMachine;
    }
    return std::nullopt;
}

}  // namespace

HKEY CRegistryHandles::Add(OpenRegistryKey key) {
    HandleTable& table = Table();
    const std::lock_guard lock(table.mutex);
    const std::uintptr_t value = table.next;
    table.next += kHandleStep;
    table.keys.emplace(value, std::move(key));
    return HKEY{value};
}

std::optional<OpenRegistryKey> CRegistryHandles::Resolve(HKEY handle) {
    if (const auto tree = TreeOf(handle)) {
        return OpenRegistryKey{*tree, {}, KEY_ALL_ACCESS};
    }
    HandleTable& table = Table();
    const std::lock_guard lock(table.mutex);
    const auto found = table.keys.find(static_cast<std::uintptr_t>(handle));
    if (found == table.keys.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool CRegistryHandles::Remove(HKEY handle) {
    if (TreeOf(handle)) {
        return true;
    }
    HandleTable& table = Table();
    const std::lock_guard lock(table.mutex);
    return table.keys.erase(static_cast<std::uintptr_t>(handle)) != 0;
}
