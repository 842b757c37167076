// What registering the server writes to HKEY_CLASSES_ROOT, and what unregistering removes.
// Per class (identities in braces):
//
//   <ProgID>                         = description;  CLSID = class identity
//   <version-independent ProgID>     = description;  CLSID = class identity, CurVer = <ProgID>
//   CLSID\<class>                    = description;  ProgID, VersionIndependentProgID,
//                                      Programmable (empty), InprocServer32 = the library's
//                                      full path with ThreadingModel = "Free",
//                                      TypeLib = the type library's identity
//
// The type library and its interfaces are registered beside the classes
// (platform/TypeLibraryRegistration.h).
//
// A class's CLSID key is made to hold exactly the registration, so registering twice leaves
// exactly one; what stays is never removed on the way, so registrations and activations running
// at the same time in other processes never find the class half-registered. Unregistering
// removes every key above with everything under it; "CLSID" itself stays. Keys already missing
// are no failure.
//
// Every step stops at the first registry failure and answers HRESULT_FROM_WIN32 of it. No lock:
// the registry serializes writers; two registrations at once leave one of them, whole. Nothing
// throws but out of memory.
#pragma once

#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

struct RegisteredClass {
    const CLSID* clsid;
    const wchar_t* description;
    const wchar_t* progId;
    const wchar_t* versionIndependentProgId;
};

class CServerRegistration {
public:
    // `libid`: the type library that describes the class.
    static HRESULT RegisterClass(const RegisteredClass& entry, REFGUID libid,
                                 std::wstring_view libraryFile);
    static HRESULT UnregisterClass(const RegisteredClass& entry);
};
