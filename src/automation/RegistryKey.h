// One open registry key, closed when the object goes, with the few typed reads and writes the
// server's registration and the scheduler's settings make. Every call answers the registry's
// status code (ERROR_SUCCESS or a system error code) and never throws. One owner thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Registry.h"

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Close(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // Opens `path` under `parent`, creating every missing key on the way.
    LSTATUS Create(HKEY parent, std::wstring_view path, REGSAM access);
    // Opens an existing key; ERROR_FILE_NOT_FOUND when it is missing.
    LSTATUS Open(HKEY parent, std::wstring_view path, REGSAM access);
    void Close();
    HKEY Get() const { return m_key; }

    // A REG_SZ value with its terminating zero; a null name is the key's default value.
    LSTATUS SetText(const wchar_t* name, std::wstring_view text);
    LSTATUS SetNumber(const wchar_t* name, DWORD value);
    // The value read as four bytes of type REG_DWORD; nullopt when it is missing, of another
    // type or of another size.
    std::optional<DWORD> QueryNumber(const wchar_t* name) const;
    // A REG_SZ or REG_EXPAND_SZ value (not expanded) of at most `maxBytes`, with its
    // terminating zero; nullopt for anything else (RegStringText decides what is clean text).
    std::optional<std::wstring> QueryText(const wchar_t* name, DWORD maxBytes) const;

private:
    HKEY m_key{};
};
