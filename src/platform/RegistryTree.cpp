#include "platform/RegistryTree.h"

#include <iterator>
#include <utility>

namespace {

template <class Map>
const typename Map::mapped_type* EntryAt(const Map& map, std::size_t index) {
    if (index >= map.size()) {
        return nullptr;
    }
    return &std::next(map.begin(), static_cast<std::ptrdiff_t>(index))->second;
}

}  // namespace

std::wstring FoldRegistryName(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return folded;
}

CRegistryTree* CRegistryTree::Find(const std::vector<std::wstring>& path) {
    return const_cast<CRegistryTree*>(std::as_const(*this).Find(path));
}

const CRegistryTree* CRegistryTree::Find(const std::vector<std::wstring>& path) const {
    const CRegistryTree* key = this;
    for (const std::wstring& name : path) {
        key = key->Subkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

CRegistryTree& CRegistryTree::Create(const std::vector<std::wstring>& path, bool& created) {
    CRegistryTree* key = this;
    created = false;
    for (const std::wstring& name : path) {
        const auto found = key->m_subkeys.find(FoldRegistryName(name));
        created = found == key->m_subkeys.end();
        key = created ? &key->AddSubkey(name) : found->second.get();
    }
    return *key;
}

const CRegistryTree* CRegistryTree::Subkey(std::wstring_view name) const {
    const auto found = m_subkeys.find(FoldRegistryName(name));
    return found == m_subkeys.end() ? nullptr : found->second.get();
}

CRegistryTree& CRegistryTree::AddSubkey(std::wstring_view name) {
    auto& slot = m_subkeys[FoldRegistryName(name)];
    if (!slot) {
        slot = std::make_unique<CRegistryTree>(std::wstring(name));
    }
    return *slot;
}

bool CRegistryTree::RemoveSubkey(std::wstring_view name) {
    return m_subkeys.erase(FoldRegistryName(name)) != 0;
}

const CRegistryTree* CRegistryTree::SubkeyAt(std::size_t index) const {
    const auto* slot = EntryAt(m_subkeys, index);
    return slot == nullptr ? nullptr : slot->get();
}

std::vector<const CRegistryTree*> CRegistryTree::Subkeys() const {
    std::vector<const CRegistryTree*> result;
    result.reserve(m_subkeys.size());
    for (const auto& [folded, key] : m_subkeys) {
        result.push_back(key.get());
    }
    return result;
}

const RegistryValue* CRegistryTree::Value(std::wstring_view name) const {
    const auto found = m_values.find(FoldRegistryName(name));
    return found == m_values.end() ? nullptr : &found->second;
}

bool CRegistryTree::SetValue(std::wstring_view name, DWORD type, std::string data) {
    std::wstring folded = FoldRegistryName(name);
    // A tree is read back in name order, so new names mostly go to the end.
    auto slot = !m_values.empty() && std::prev(m_values.end())->first < folded
                    ? m_values.end()
                    : m_values.lower_bound(folded);
    if (slot == m_values.end() || slot->first != folded) {
        slot = m_values.emplace_hint(slot, std::move(folded),
                                     RegistryValue{std::wstring(name), type, std::move(data)});
        return true;
    }
    if (slot->second.type == type && slot->second.data == data) {
        return false;
    }
    slot->second.type = type;
    slot->second.data = std::move(data);
    return true;
}

bool CRegistryTree::RemoveValue(std::wstring_view name) {
    return m_values.erase(FoldRegistryName(name)) != 0;
}

const RegistryValue* CRegistryTree::ValueAt(std::size_t index) const {
    return EntryAt(m_values, index);
}

std::vector<const RegistryValue*> CRegistryTree::Values() const {
    std::vector<const RegistryValue*> result;
    result.reserve(m_values.size());
    for (const auto& [folded, value] : m_values) {
        result.push_back(&value);
    }
    return result;
}

void CRegistryTree::Clear() {
    m_values.clear();
    m_subkeys.clear();
}
