#include "automation/ServerRegistration.h"

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "automation/RegistryKey.h"
#include "platform/GuidText.h"

namespace {

std::wstring ClassKey(REFCLSID clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

// Registry names compare without regard to case.
bool SameName(std::wstring_view first, std::wstring_view second) {
    return std::ranges::equal(first, second, [](wchar_t a, wchar_t b) {
        return std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
    });
}

// One key or value of a registration, below the key it belongs to ("" is that key itself). A
// null value name is the key's default value; an entry without text is a key without values.
struct RegistryEntry {
    std::wstring key;
    const wchar_t* value;
    std::optional<std::wstring> text;

    bool IsKeyOrAbove(std::wstring_view path) const {
        return SameName(std::wstring_view(key).substr(0, path.size()), path) &&
               (key.size() == path.size() || key[path.size()] == L'\\');
    }
    bool IsValue(std::wstring_view path, std::wstring_view name) const {
        return text && SameName(key, path) && SameName(value == nullptr ? L"" : value, name);
    }
};

// `relative` below `path`; either may be "".
std::wstring Below(const std::wstring& path, const std::wstring& relative) {
    if (path.empty() || relative.empty()) {
        return path + relative;
    }
    return path + L"\\" + relative;
}

// The names of the subkeys (or the values) of `path`, as they are now.
std::vector<std::wstring> NamesUnder(const std::wstring& path, bool values) {
    std::vector<std::wstring> names;
    CRegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LSTATUS status = values ? RegEnumValueW(key.Get(), index, name, &length, nullptr,
                                                      nullptr, nullptr, nullptr)
                                      : RegEnumKeyExW(key.Get(), index, name, &length, nullptr,
                                                      nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, length);
    }
}

HRESULT ResultOf(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Writes keys and string values under HKEY_CLASSES_ROOT; after the first failure it writes
// nothing more and keeps that failure.
class ClassesWriter {
public:
    // The key `path`, created when missing, with the string value `name` (null: the default
    // value) set to `text`.
    void Text(const std::wstring& path, const wchar_t* name, std::wstring_view text) {
        CRegistryKey key;
        if (Succeeded(key.Create(HKEY_CLASSES_ROOT, path, KEY_WRITE))) {
            Succeeded(key.SetText(name, text));
        }
    }
    // The key `path` without values, created when missing.
    void Key(const std::wstring& path) {
        CRegistryKey key;
        Succeeded(key.Create(HKEY_CLASSES_ROOT, path, KEY_WRITE));
    }
    // Removes `path` with everything under it; a missing key is no failure.
    void RemoveTree(const std::wstring& path) {
        if (m_status == ERROR_SUCCESS) {
            const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
            Succeeded(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
        }
    }
    // Makes the key `path` hold exactly `entries`: what differs is written, what is not among
    // them is removed. Nothing that stays is ever removed on the way, so a process reading the
    // key meanwhile, or registering the same at the same time, never finds part of it missing.
    void Exactly(const std::wstring& path, const std::vector<RegistryEntry>& entries) {
        for (const RegistryEntry& entry : entries) {
            if (entry.text) {
                Text(Below(path, entry.key), entry.value, *entry.text);
            } else {
                Key(Below(path, entry.key));
            }
        }
        RemoveAllBut(path, L"", entries);
    }
    HRESULT Result() const { return ResultOf(m_status); }

private:
    void RemoveAllBut(const std::wstring& path, const std::wstring& relative,
                      const std::vector<RegistryEntry>& entries) {
        const std::wstring key = Below(path, relative);
        for (const std::wstring& name : NamesUnder(key, true)) {
            if (std::ranges::none_of(entries, [&](const RegistryEntry& entry) {
                    return entry.IsValue(relative, name);
                })) {
                RemoveValue(key, name);
            }
        }
        for (const std::wstring& name : NamesUnder(key, false)) {
            const std::wstring subkey = Below(relative, name);
            if (std::ranges::none_of(entries, [&](const RegistryEntry& entry) {
                    return entry.IsKeyOrAbove(subkey);
                })) {
                RemoveTree(Below(path, subkey));
            } else if (m_status == ERROR_SUCCESS) {
                RemoveAllBut(path, subkey, entries);
            }
        }
    }
    void RemoveValue(const std::wstring& path, const std::wstring& name) {
        CRegistryKey key;
        if (Succeeded(key.Open(HKEY_CLASSES_ROOT, path, KEY_WRITE))) {
            const LSTATUS status = RegDeleteValueW(key.Get(), name.c_str());
            Succeeded(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
        }
    }
    bool Succeeded(LSTATUS status) {
        if (m_status == ERROR_SUCCESS) {
            m_status = status;
        }
        return m_status == ERROR_SUCCESS;
    }

    LSTATUS m_status = ERROR_SUCCESS;
};

}  // namespace

HRESULT CServerRegistration::RegisterClass(const RegisteredClass& entry, REFGUID libid,
                                           std::wstring_view libraryFile) {
    const std::wstring clsid = GuidText(*entry.clsid);
    const std::wstring classKey = ClassKey(*entry.clsid);
    const std::wstring progId = entry.progId;
    const std::wstring independentProgId = entry.versionIndependentProgId;
    ClassesWriter writer;
    writer.Text(progId, nullptr, entry.description);
    writer.Text(progId + L"\\CLSID", nullptr, clsid);
    writer.Text(independentProgId, nullptr, entry.description);
    writer.Text(independentProgId + L"\\CLSID", nullptr, clsid);
    writer.Text(independentProgId + L"\\CurVer", nullptr, progId);
    writer.Exactly(classKey, {{L"", nullptr, entry.description},
                              {L"ProgID", nullptr, progId},
                              {L"VersionIndependentProgID", nullptr, independentProgId},
                              {L"Programmable", nullptr, std::nullopt},
                              {L"InprocServer32", nullptr, std::wstring(libraryFile)},
                              {L"InprocServer32", L"ThreadingModel", L"Free"},
                              {L"TypeLib", nullptr, GuidText(libid)}});
    return writer.Result();
}

HRESULT CServerRegistration::UnregisterClass(const RegisteredClass& entry) {
    ClassesWriter writer;
    writer.RemoveTree(entry.progId);
    writer.RemoveTree(entry.versionIndependentProgId);
    writer.RemoveTree(ClassKey(*entry.clsid));
    return writer.Result();
}
