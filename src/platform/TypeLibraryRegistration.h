// A library's type library made known machine-wide, and forgotten again. On Windows the system
// does it from the copy embedded in the library file (resource 1, or a ".tlb" file beside the
// library when that cannot be loaded), which describes itself; elsewhere the same keys are
// written from the description below: the library's identity and version with its help
// string, the folder and file it lives in, and each interface with its type library. Either
// way an interface key belongs to the type library and goes with it. Thread-safe as the
// registry is.
#pragma once

#include <span>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

struct TypeLibraryInterface {
    const IID* iid;
    const wchar_t* name;
};

struct TypeLibraryDescription {
    const GUID* libid;
    WORD majorVersion;
    WORD minorVersion;
    const wchar_t* helpString;
    std::span<const TypeLibraryInterface> interfaces;
};

HRESULT RegisterTypeLibraryOf(const TypeLibraryDescription& library, std::wstring_view libraryFile);
// TYPE_E_REGISTRYACCESS when that version of the type library is not registered.
HRESULT UnregisterTypeLibraryOf(const TypeLibraryDescription& library);
