// Making objects of a class: the class factory that an in-process server library hands out,
// and the entry points such a library exports with C linkage, found by name when one of its
// classes is activated (CoCreateInstance). Factories are free-threaded.
#pragma once

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Unknown.h"

#ifdef _WIN32
#include <unknwn.h>
#else
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IClassFactory : IUnknown {
    // With an outer object, only IID_IUnknown may be asked for (aggregation).
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    // Keeps the library loaded while locked.
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};
#endif

// "DllGetClassObject": the factory of a class of the library, CLASS_E_CLASSNOTAVAILABLE for a
// class it does not serve.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID rclsid, REFIID riid, void** ppv);
// "DllCanUnloadNow": S_OK when no object of the library is alive and no lock is held.
using DllCanUnloadNowFunction = HRESULT (*)();

// "DllRegisterServer" / "DllUnregisterServer": writes the registration of the library's classes
// (naming the library's own file as their server) or removes it.
using DllRegisterServerFunction = HRESULT (*)();

// Marks an entry point that a server library exports (on Windows its module-definition file
// names the exports).
#ifdef _WIN32
#define ZYN_SERVER_ENTRY extern "C"
#else
#define ZYN_SERVER_ENTRY extern "C" __attribute__((visibility("default")))
#endif
