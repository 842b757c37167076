#include "automation/ServerRegistration.h"

#include <string>

#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "automation/RegistryKey.h"
#include "platform/Path.h"

namespace {

constexpr int kGuidTextCapacity = 39;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[kGuidTextCapacity];
    StringFromGUID2(guid, text, kGuidTextCapacity);
    return text;
}

std::wstring ClassKey(REFCLSID clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

std::wstring TypeLibraryKey(REFGUID libid) {
    return L"TypeLib\\" + GuidText(libid);
}

std::wstring InterfaceKey(REFIID iid) {
    return L"Interface\\" + GuidText(iid);
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
    // Removes `path` when nothing is left under it.
    void RemoveIfEmpty(const std::wstring& path) {
        if (m_status == ERROR_SUCCESS) {
            RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());  // refused while other keys are in it
        }
    }
    HRESULT Result() const { return ResultOf(m_status); }

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
    CRegistryKey key;
    return key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) == ERROR_SUCCESS;
}

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
    writer.RemoveTree(classKey);
    writer.Text(classKey, nullptr, entry.description);
    writer.Text(classKey + L"\\ProgID", nullptr, progId);
    writer.Text(classKey + L"\\VersionIndependentProgID", nullptr, independentProgId);
    writer.Key(classKey + L"\\Programmable");
    writer.Text(classKey + L"\\InprocServer32", nullptr, libraryFile);
    writer.Text(classKey + L"\\InprocServer32", L"ThreadingModel", L"Free");
    writer.Text(classKey + L"\\TypeLib", nullptr, GuidText(libid));
    return writer.Result();
}

HRESULT CServerRegistration::UnregisterClass(const RegisteredClass& entry) {
    ClassesWriter writer;
    writer.RemoveTree(entry.progId);
    writer.RemoveTree(entry.versionIndependentProgId);
    writer.RemoveTree(ClassKey(*entry.clsid));
    return writer.Result();
}

HRESULT CServerRegistration::RegisterTypeLibrary(const RegisteredTypeLibrary& library,
                                                 std::wstring_view libraryFile) {
    const std::wstring libid = GuidText(*library.libid);
    const std::wstring versionKey = TypeLibraryKey(*library.libid) + L"\\" + library.version;
    ClassesWriter writer;
    writer.Text(versionKey, nullptr, library.helpString);
    writer.Text(versionKey + L"\\FLAGS", nullptr, L"0");
    writer.Text(versionKey + L"\\HELPDIR", nullptr, ParentPath(libraryFile));
    writer.Text(versionKey + L"\\0\\linux", nullptr, libraryFile);
    for (const RegisteredInterface& entry : library.interfaces) {
        const std::wstring interfaceKey = InterfaceKey(*entry.iid);
        writer.Text(interfaceKey, nullptr, entry.name);
        writer.Text(interfaceKey + L"\\TypeLib", nullptr, libid);
        writer.Text(interfaceKey + L"\\TypeLib", L"Version", library.version);
    }
    return writer.Result();
}

HRESULT CServerRegistration::UnregisterTypeLibrary(const RegisteredTypeLibrary& library) {
    const std::wstring libraryKey = TypeLibraryKey(*library.libid);
    const std::wstring versionKey = libraryKey + L"\\" + library.version;
    if (!KeyExists(versionKey)) {
        return TYPE_E_REGISTRYACCESS;
    }
    ClassesWriter writer;
    for (const RegisteredInterface& entry : library.interfaces) {
        writer.RemoveTree(InterfaceKey(*entry.iid));
    }
    writer.RemoveTree(versionKey);
    writer.RemoveIfEmpty(libraryKey);
    return writer.Result();
}
