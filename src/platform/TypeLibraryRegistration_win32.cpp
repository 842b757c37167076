// The system's own registration of the type library embedded in the library file. It writes
// the type library's keys and those of its interfaces (marshalled from the type library), and
// removes them again.
#include "platform/TypeLibraryRegistration.h"

#include <oleauto.h>

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "platform/Path.h"

namespace {

// The type library in the library's resources, else in a ".tlb" file beside the library.
HRESULT LoadOwnTypeLibrary(const std::wstring& libraryFile, ITypeLib** library) {
    if (SUCCEEDED(::LoadTypeLibEx(libraryFile.c_str(), REGKIND_NONE, library))) {
        return S_OK;
    }
    const std::wstring::size_type dot = libraryFile.find_last_of(L'.');
    const std::wstring beside = libraryFile.substr(0, dot) + L".tlb";
    return ::LoadTypeLibEx(beside.c_str(), REGKIND_NONE, library);
}

}  // namespace

HRESULT RegisterTypeLibraryOf(const TypeLibraryDescription&, std::wstring_view libraryFile) {
    std::wstring file(libraryFile);
    ComPtr<ITypeLib> library;
    if (const HRESULT hr = LoadOwnTypeLibrary(file, library.Receive()); FAILED(hr)) {
        return hr;
    }
    std::wstring folder = ParentPath(file);
    return ::RegisterTypeLib(library.Get(), file.data(), folder.data());
}

HRESULT UnregisterTypeLibraryOf(const TypeLibraryDescription& library) {
    return ::UnRegisterTypeLib(*library.libid, library.majorVersion, library.minorVersion,
                               LOCALE_NEUTRAL, SYS_WIN64);
}
