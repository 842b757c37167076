// The keys the system would write for a type library, written here for the libraries of this
// platform, which carry no type library of their own. The platform is named "linux" where
// Windows names its word size.
#include "platform/TypeLibraryRegistration.h"

#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/GuidText.h"
#include "platform/Path.h"

namespace {

std::wstring LibraryKey(const TypeLibraryDescription& library) {
    return L"TypeLib\\" + GuidText(*library.libid);
}

// "major.minor"
std::wstring VersionText(const TypeLibraryDescription& library) {
    return std::to_wstring(library.majorVersion) + L"." + std::to_wstring(library.minorVersion);
}

std::wstring VersionKey(const TypeLibraryDescription& library) {
    return LibraryKey(library) + L"\\" + VersionText(library);
}

std::wstring InterfaceKey(const TypeLibraryInterface& entry) {
    return L"Interface\\" + GuidText(*entry.iid);
}

// Writes and removes keys under HKEY_CLASSES_ROOT; after the first failure it does nothing
// more and keeps that failure.
class ClassesKeys {
public:
    // The key `path`, created when missing, with the string value `name` (null: the default
    // value) set to `text`.
    void Text(const std::wstring& path, const wchar_t* name, std::wstring_view text) {
        HKEY key{};
        if (Succeeded(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                      nullptr, &key, nullptr))) {
            const std::vector<BYTE> data = RegStringData(text);
            Succeeded(
                RegSetValueExW(key, name, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size())));
            RegCloseKey(key);
        }
    }
    // Removes `path` with everything under it; a missing key is no failure.
    void RemoveTree(const std::wstring& path) {
        if (m_status == ERROR_SUCCESS) {
            const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
            Succeeded(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
        }
    }
    // Removes `path` when nothing is left under it.
    void RemoveIfEmpty(const std::wstring& path) {
        if (m_status == ERROR_SUCCESS) {
            RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());  // refused while other keys are in it
        }
    }
    HRESULT Result() const {
        return m_status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(m_status);
    }

private:
    bool Succeeded(LSTATUS status) {
        if (m_status == ERROR_SUCCESS) {
            m_status = status;
        }
        return m_status == ERROR_SUCCESS;
    }

    LSTATUS m_status = ERROR_SUCCESS;
};

bool KeyExists(const std::wstring& path) {
    HKEY key{};
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace

HRESULT RegisterTypeLibraryOf(const TypeLibraryDescription& library,
                              std::wstring_view libraryFile) {
    const std::wstring versionKey = VersionKey(library);
    ClassesKeys keys;
    keys.Text(versionKey, nullptr, library.helpString);
    keys.Text(versionKey + L"\\FLAGS", nullptr, L"0");
    keys.Text(versionKey + L"\\HELPDIR", nullptr, ParentPath(libraryFile));
    keys.Text(versionKey + L"\\0\\linux", nullptr, libraryFile);
    for (const TypeLibraryInterface& entry : library.interfaces) {
        keys.Text(InterfaceKey(entry), nullptr, entry.name);
        keys.Text(InterfaceKey(entry) + L"\\TypeLib", nullptr, GuidText(*library.libid));
        keys.Text(InterfaceKey(entry) + L"\\TypeLib", L"Version", VersionText(library));
    }
    return keys.Result();
}

HRESULT UnregisterTypeLibraryOf(const TypeLibraryDescription& library) {
    const std::wstring versionKey = VersionKey(library);
    if (!KeyExists(versionKey)) {
        return TYPE_E_REGISTRYACCESS;
    }
    ClassesKeys keys;
    for (const TypeLibraryInterface& entry : library.interfaces) {
        keys.RemoveTree(InterfaceKey(entry));
    }
    keys.RemoveTree(versionKey);
    keys.RemoveIfEmpty(LibraryKey(library));
    return keys.Result();
}
