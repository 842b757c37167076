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
// Per type library, in place of the registration of a type-information file (objects here
// describe themselves through IDispatch only) and of marshalling code (every object is called
// in-process, nothing is marshalled):
//
//   TypeLib\<library>\<version>      = help string;  FLAGS = "0", HELPDIR = the library's
//                                      folder, 0\linux = the library's full path
//   Interface\<interface>            = interface name;  TypeLib = <library> with
//                                      Version = <version>
//
// A class's CLSID key is made to hold exactly the registration, so registering twice leaves
// exactly one; what stays is never removed on the way, so registrations and activations running
// at the same time in other processes never find the class half-registered. Unregistering removes every key above with everything under it; "CLSID",
// "TypeLib" and "Interface" themselves stay. Keys already missing are no failure, except the
// type library's: unregistering a type library that is not registered fails with
// TYPE_E_REGISTRYACCESS, as the system's type-library unregistration does.
//
// Every step stops at the first registry failure and answers HRESULT_FROM_WIN32 of it. No lock:
// the registry serializes writers; two registrations at once leave one of them, whole. Nothing
// throws but out of memory.
#pragma once

#include <span>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

struct RegisteredClass {
    const CLSID* clsid;
    const wchar_t* description;
    const wchar_t* progId;
    const wchar_t* versionIndependentProgId;
};

struct RegisteredInterface {
    const IID* iid;
    const wchar_t* name;
};

struct RegisteredTypeLibrary {
    const GUID* libid;
    const wchar_t* version;  // "major.minor"
    const wchar_t* helpString;
    std::span<const RegisteredInterface> interfaces;
};

class CServerRegistration {
public:
    // `libid`: the type library that describes the class.
    static HRESULT RegisterClass(const RegisteredClass& entry, REFGUID libid,
                                 std::wstring_view libraryFile);
    static HRESULT UnregisterClass(const RegisteredClass& entry);
    static HRESULT RegisterTypeLibrary(const RegisteredTypeLibrary& library,
                                       std::wstring_view libraryFile);
    static HRESULT UnregisterTypeLibrary(const RegisteredTypeLibrary& library);
};
