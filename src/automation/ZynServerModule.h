// The in-process server around the library's classes: the object map (the classes a client
// can create by identity, with their registration texts), the type library's description, and
// the work behind the four exported entry points. Class factories are made per request and
// keep the library loaded while held; the library may go once no object of it lives and no
// factory lock is held.
//
// Thread-safe: the map is constant, the lock count atomic, and the registry serializes writers.
// No member lets an exception out.
#pragma once

#include <span>
#include <string_view>

#include "automation/ServerRegistration.h"

class CZynServerModule {
public:
    static std::span<const RegisteredClass> ObjectMap();

    // DllGetClassObject: CLASS_E_CLASSNOTAVAILABLE for a class outside the map.
    static HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
    // DllCanUnloadNow: S_FALSE while an object of the library lives or a lock is held.
    static HRESULT CanUnloadNow() noexcept;
    // DllRegisterServer: every class of the map in its order, then the type library, each
    // naming `libraryFile` as its server; the first failure is answered at once.
    static HRESULT RegisterServer(std::wstring_view libraryFile) noexcept;
    // DllUnregisterServer: the same in reverse, then, only when all of that succeeded, the
    // scheduler's settings key goes ("Software\Kalvane" itself stays).
    static HRESULT UnregisterServer() noexcept;

private:
    static HRESULT RemoveSchedulerSettings();
};
