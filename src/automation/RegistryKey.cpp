#include "automation/RegistryKey.h"

#include <vector>

LSTATUS CRegistryKey::Create(HKEY parent, std::wstring_view path, REGSAM access) {
    Close();
    return RegCreateKeyExW(parent, std::wstring(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           access, nullptr, &m_key, nullptr);
}

LSTATUS CRegistryKey::Open(HKEY parent, std::wstring_view path, REGSAM access) {
    Close();
    return RegOpenKeyExW(parent, std::wstring(path).c_str(), 0, access, &m_key);
}

void CRegistryKey::Close() {
    if (m_key != HKEY{}) {
        RegCloseKey(m_key);
        m_key = HKEY{};
    }
}

LSTATUS CRegistryKey::SetText(const wchar_t* name, std::wstring_view text) {
    const std::vector<BYTE> data = RegStringData(text);
    return RegSetValueExW(m_key, name, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
}

LSTATUS CRegistryKey::SetNumber(const wchar_t* name, DWORD value) {
    return RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

std::optional<DWORD> CRegistryKey::QueryNumber(const wchar_t* name) const {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::wstring> CRegistryKey::QueryText(const wchar_t* name, DWORD maxBytes) const {
    std::vector<BYTE> data(maxBytes);
    DWORD type = 0;
    DWORD size = maxBytes;
    if (RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return RegStringText(data.data(), size);
}
