// The registry calls: each one resolves its handle, then reads a fresh copy of the tree or
// changes it under the writers' lock (RegistryStore). Handles name paths, so a key deleted by
// someone else is noticed at the next call through a handle to it (ERROR_KEY_DELETED).
#include "ZynTaskSchedulerLib/Registry.h"

#include <algorithm>
#include <cstring>

#include "platform/RegistryHandles.h"
#include "platform/RegistryStore.h"
#include "platform/RegistryText.h"
#include "platform/WideText.h"

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE;

constexpr LSTATUS Status(DWORD error) {
    return static_cast<LSTATUS>(error);
}

// The key names of a subkey path; empty names (doubled or outer backslashes) are skipped.
std::optional<std::vector<std::wstring>> SplitSubkey(LPCWSTR subKey) {
    std::vector<std::wstring> names;
    const std::wstring_view path = subKey == nullptr ? L"" : subKey;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring_view name = path.substr(start, end - start);
        if (name.size() > kMaxKeyNameLength || !IsStorableName(name, true)) {
            return std::nullopt;
        }
        if (!name.empty()) {
            names.emplace_back(name);
        }
        start = end + 1;
    }
    return names;
}

std::optional<std::wstring> ValueName(LPCWSTR name) {
    const std::wstring_view text = name == nullptr ? L"" : name;
    if (text.size() > kMaxValueNameLength || !IsStorableName(text, false)) {
        return std::nullopt;
    }
    return std::wstring(text);
}

std::vector<std::wstring> Joined(const std::vector<std::wstring>& base,
                                 const std::vector<std::wstring>& more) {
    std::vector<std::wstring> path = base;
    path.insert(path.end(), more.begin(), more.end());
    return path;
}

// The open key behind `handle`, checked for the rights a call needs.
LSTATUS OpenKeyFor(HKEY handle, REGSAM needed, OpenRegistryKey& key) {
    auto resolved = CRegistryHandles::Resolve(handle);
    if (!resolved) {
        return Status(ERROR_INVALID_HANDLE);
    }
    if ((resolved->access & needed) != needed) {
        return Status(ERROR_ACCESS_DENIED);
    }
    key = std::move(*resolved);
    return Status(ERROR_SUCCESS);
}

LSTATUS CopyName(const std::wstring& name, LPWSTR buffer, LPDWORD capacity) {
    if (buffer == nullptr || capacity == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (name.size() + 1 > *capacity) {
        *capacity = static_cast<DWORD>(name.size());
        return Status(ERROR_MORE_DATA);
    }
    std::wmemcpy(buffer, name.c_str(), name.size() + 1);
    *capacity = static_cast<DWORD>(name.size());
    return Status(ERROR_SUCCESS);
}

LSTATUS CopyValue(const RegistryValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (data != nullptr && size == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (size == nullptr) {
        return Status(ERROR_SUCCESS);
    }
    const auto needed = static_cast<DWORD>(value.data.size());
    const DWORD capacity = *size;
    *size = needed;
    if (data == nullptr) {
        return Status(ERROR_SUCCESS);
    }
    if (capacity < needed) {
        return Status(ERROR_MORE_DATA);
    }
    std::memcpy(data, value.data.data(), needed);
    return Status(ERROR_SUCCESS);
}

// Reads the tree of `key` and hands its node to `read`; ERROR_KEY_DELETED when it is gone.
template <class Read>
LSTATUS ReadKey(const OpenRegistryKey& key, Read&& read) {
    CRegistryTree tree;
    if (const LSTATUS error = LoadRegistryHive(key.hive, tree); error != ERROR_SUCCESS) {
        return error;
    }
    const CRegistryTree* node = tree.Find(key.path);
    return node == nullptr ? Status(ERROR_KEY_DELETED) : read(*node);
}

// Changes the node of `key` under the writers' lock; ERROR_KEY_DELETED when it is gone.
template <class Change>
LSTATUS ChangeKey(const OpenRegistryKey& key, Change&& change) {
    return UpdateRegistryHive(key.hive, [&](CRegistryTree& root, bool& changed) {
        CRegistryTree* node = root.Find(key.path);
        return node == nullptr ? Status(ERROR_KEY_DELETED) : change(*node, changed);
    });
}

// Removes the key at `path` below `key` (the key itself for an empty path): with everything
// under it for a tree delete, else only when it has no subkeys.
LSTATUS DeleteKey(HKEY handle, const std::vector<std::wstring>& path, bool wholeTree) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(handle, 0, key); error != ERROR_SUCCESS) {
        return error;
    }
    std::vector<std::wstring> target = Joined(key.path, path);
    if (target.empty()) {
        return Status(ERROR_ACCESS_DENIED);  // the two trees themselves stay
    }
    const std::wstring name = target.back();
    target.pop_back();
    return UpdateRegistryHive(key.hive, [&](CRegistryTree& root, bool& changed) {
        CRegistryTree* parent = root.Find(target);
        const CRegistryTree* victim = parent == nullptr ? nullptr : parent->Subkey(name);
        if (victim == nullptr) {
            return Status(path.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND);
        }
        if (!wholeTree && victim->HasSubkeys()) {
            return Status(ERROR_ACCESS_DENIED);
        }
        changed = parent->RemoveSubkey(name);
        return Status(ERROR_SUCCESS);
    });
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired, const void* /*lpSecurityAttributes*/,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (phkResult == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    *phkResult = HKEY{};
    if ((dwOptions & REG_OPTION_VOLATILE) != 0) {
        return Status(ERROR_NOT_SUPPORTED);
    }
    const auto names = SplitSubkey(lpSubKey);
    OpenRegistryKey parent;
    if (!names) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_CREATE_SUB_KEY, parent);
        error != ERROR_SUCCESS) {
        return error;
    }
    bool created = false;
    const LSTATUS error = ChangeKey(parent, [&](CRegistryTree& node, bool& changed) {
        node.Create(*names, created);
        changed = created;
        return Status(ERROR_SUCCESS);
    });
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *phkResult = CRegistryHandles::Add({parent.hive, Joined(parent.path, *names), samDesired});
    return Status(ERROR_SUCCESS);
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      PHKEY phkResult) {
    if (phkResult == nullptr) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    *phkResult = HKEY{};
    const auto names = SplitSubkey(lpSubKey);
    OpenRegistryKey key;
    if (!names) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (const LSTATUS error = OpenKeyFor(hKey, 0, key); error != ERROR_SUCCESS) {
        return error;
    }
    const LSTATUS error = ReadKey(key, [&](const CRegistryTree& node) {
        return node.Find(*names) == nullptr ? Status(ERROR_FILE_NOT_FOUND) : Status(ERROR_SUCCESS);
    });
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if ((samDesired & kWriteRights) != 0) {
        if (const LSTATUS denied = CheckRegistryWritable(); denied != ERROR_SUCCESS) {
            return Status(ERROR_ACCESS_DENIED);
        }
    }
    *phkResult = CRegistryHandles::Add({key.hive, Joined(key.path, *names), samDesired});
    return Status(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY hKey) {
    return CRegistryHandles::Remove(hKey) ? Status(ERROR_SUCCESS) : Status(ERROR_INVALID_HANDLE);
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_QUERY_VALUE, key); error != ERROR_SUCCESS) {
        return error;
    }
    const auto name = ValueName(lpValueName);
    if (!name) {
        return Status(ERROR_FILE_NOT_FOUND);  // no such name can have been stored
    }
    return ReadKey(key, [&](const CRegistryTree& node) {
        const RegistryValue* value = node.Value(*name);
        return value == nullptr ? Status(ERROR_FILE_NOT_FOUND)
                                : CopyValue(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_SET_VALUE, key); error != ERROR_SUCCESS) {
        return error;
    }
    const auto name = ValueName(lpValueName);
    if (!name || (lpData == nullptr && cbData != 0)) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (key.path.empty()) {
        return Status(ERROR_ACCESS_DENIED);  // the trees themselves hold no values
    }
    std::string data(reinterpret_cast<const char*>(lpData), cbData);
    return ChangeKey(key, [&](CRegistryTree& node, bool& changed) {
        // An unchanged value is not stored again: a registration repeated by many processes at
        // once then costs them reads, not a rewrite of the tree each.
        changed = node.SetValue(*name, dwType, std::move(data));
        return Status(ERROR_SUCCESS);
    });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_SET_VALUE, key); error != ERROR_SUCCESS) {
        return error;
    }
    const auto name = ValueName(lpValueName);
    if (!name) {
        return Status(ERROR_FILE_NOT_FOUND);
    }
    return ChangeKey(key, [&](CRegistryTree& node, bool& changed) {
        changed = node.RemoveValue(*name);
        return changed ? Status(ERROR_SUCCESS) : Status(ERROR_FILE_NOT_FOUND);
    });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    const auto names = SplitSubkey(lpSubKey);
    return names ? DeleteKey(hKey, *names, false) : Status(ERROR_INVALID_PARAMETER);
}

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM /*samDesired*/, DWORD /*Reserved*/) {
    return RegDeleteKeyW(hKey, lpSubKey);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    const auto names = SplitSubkey(lpSubKey);
    if (!names) {
        return Status(ERROR_INVALID_PARAMETER);
    }
    if (!names->empty()) {
        return DeleteKey(hKey, *names, true);
    }
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, 0, key); error != ERROR_SUCCESS) {
        return error;
    }
    return ChangeKey(key, [](CRegistryTree& node, bool& changed) {
        node.Clear();
        changed = true;
        return Status(ERROR_SUCCESS);
    });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD /*lpReserved*/, LPWSTR lpClass, LPDWORD lpcchClass,
                      FILETIME* lpftLastWriteTime) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, key);
        error != ERROR_SUCCESS) {
        return error;
    }
    return ReadKey(key, [&](const CRegistryTree& node) {
        const CRegistryTree* subkey = node.SubkeyAt(dwIndex);
        if (subkey == nullptr) {
            return Status(ERROR_NO_MORE_ITEMS);
        }
        if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
            lpClass[0] = L'\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime != nullptr) {
            *lpftLastWriteTime = FILETIME{0, 0};
        }
        return CopyName(subkey->Name(), lpName, lpcchName);
    });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    OpenRegistryKey key;
    if (const LSTATUS error = OpenKeyFor(hKey, KEY_QUERY_VALUE, key); error != ERROR_SUCCESS) {
        return error;
    }
    return ReadKey(key, [&](const CRegistryTree& node) {
        const RegistryValue* value = node.ValueAt(dwIndex);
        if (value == nullptr) {
            return Status(ERROR_NO_MORE_ITEMS);
        }
        const LSTATUS error = CopyName(value->name, lpValueName, lpcchValueName);
        return error != ERROR_SUCCESS ? error : CopyValue(*value, lpType, lpData, lpcbData);
    });
}
