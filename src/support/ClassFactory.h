// The class factory of the framework's classes, and the class table behind a server library's
// DllGetClassObject:
//
//   constexpr ClassEntry kClasses[] = {ClassEntryOf<CSample>(CLSID_Sample)};
//   ZYN_SERVER_ENTRY HRESULT DllGetClassObject(REFCLSID c, REFIID i, void** p) {
//       return GetClassObjectFromTable(kClasses, c, i, p);
//   }
//   ZYN_SERVER_ENTRY HRESULT DllCanUnloadNow() { return ModuleLocks::CanUnloadNow(); }
//
// A factory makes plain objects, or aggregated ones (asked for IID_IUnknown with an outer
// object) of classes that allow it (CLASS_E_NOAGGREGATION otherwise). Factories are objects
// of the library like any other: while one is held, the library stays loaded. Free-threaded.
#pragma once

#include <span>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "support/ComObject.h"

template <class T>
class CClassFactory : public CObjectRoot, public IClassFactory {
public:
    using Interfaces = InterfaceTable<Implements<IID_IClassFactory, IClassFactory>>;
    static constexpr bool kAggregatable = false;

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        return CComInstance<T>::Create(pUnkOuter, riid, ppvObject);
    }
    HRESULT LockServer(BOOL fLock) override {
        if (fLock) {
            ModuleLocks::Lock();
        } else {
            ModuleLocks::Unlock();
        }
        return S_OK;
    }
};

struct ClassEntry {
    const CLSID* clsid;
    HRESULT (*makeFactory)(REFIID riid, void** ppv);
};

template <class T>
constexpr ClassEntry ClassEntryOf(const CLSID& clsid) {
    return {&clsid, [](REFIID riid, void** ppv) {
                return CComInstance<CClassFactory<T>>::Create(nullptr, riid, ppv);
            }};
}

// A new factory of the class, asked for `riid`; CLASS_E_CLASSNOTAVAILABLE for a class that is
// not in the table.
HRESULT GetClassObjectFromTable(std::span<const ClassEntry> classes, REFCLSID rclsid, REFIID riid,
                                void** ppv);
