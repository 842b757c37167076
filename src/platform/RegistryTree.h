// One tree of the settings store in memory: a key with its values and subkeys, each found by
// name without regard to the case of ASCII letters and kept in that name order. Values hold
// their bytes exactly as written. A plain value: not thread-safe; the store loads a fresh tree
// for every call.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"

// The lookup form of a key or value name: ASCII letters in upper case.
std::wstring FoldRegistryName(std::wstring_view name);

struct RegistryValue {
    std::wstring name;  // as first written
    DWORD type = 0;
    std::string data;
};

class CRegistryTree {
public:
    CRegistryTree() = default;
    explicit CRegistryTree(std::wstring name) : m_name(std::move(name)) {}
    CRegistryTree(const CRegistryTree&) = delete;
    CRegistryTree& operator=(const CRegistryTree&) = delete;

    const std::wstring& Name() const { return m_name; }

    // The key at `path` below this one (this key for an empty path); null when missing.
    CRegistryTree* Find(const std::vector<std::wstring>& path);
    const CRegistryTree* Find(const std::vector<std::wstring>& path) const;
    // The key at `path`, made with every missing key above it; `created` tells whether the last
    // one was new.
    CRegistryTree& Create(const std::vector<std::wstring>& path, bool& created);

    const CRegistryTree* Subkey(std::wstring_view name) const;
    CRegistryTree& AddSubkey(std::wstring_view name);
    // Removes the subkey with everything under it; false when there is none.
    bool RemoveSubkey(std::wstring_view name);
    bool HasSubkeys() const { return !m_subkeys.empty(); }
    // The subkey at `index` in name order; null past the last.
    const CRegistryTree* SubkeyAt(std::size_t index) const;
    std::vector<const CRegistryTree*> Subkeys() const;

    const RegistryValue* Value(std::wstring_view name) const;
    // Replaces the value's type and data; a new value takes `name` as it is spelt. False when
    // the value already had that type and data.
    bool SetValue(std::wstring_view name, DWORD type, std::string data);
    bool RemoveValue(std::wstring_view name);
    const RegistryValue* ValueAt(std::size_t index) const;
    std::vector<const RegistryValue*> Values() const;

    // Drops every value and subkey.
    void Clear();

private:
    std::wstring m_name;
    std::map<std::wstring, RegistryValue> m_values;  // by folded name
    std::map<std::wstring, std::unique_ptr<CRegistryTree>> m_subkeys;
};
