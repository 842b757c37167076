// One in-process server library loaded into the process, with its two entry points; the
// library is unloaded when the object goes, so the owner must know that none of its objects
// is alive (DllCanUnloadNow). Loading runs the library's initialisers. Move-only; the entry
// points may be called from any thread.
#pragma once

#include <memory>
#include <string>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "platform/SharedLibrary.h"

class CServerLibrary {
public:
    // CO_E_DLLNOTFOUND when no file is at `path`, CO_E_ERRORINDLL when it cannot be loaded or
    // lacks DllGetClassObject.
    static HRESULT Load(const std::wstring& path, std::unique_ptr<CServerLibrary>& library);
    CServerLibrary(const CServerLibrary&) = delete;
    CServerLibrary& operator=(const CServerLibrary&) = delete;
    ~CServerLibrary();

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const;
    // S_FALSE for a library without DllCanUnloadNow, which therefore stays.
    HRESULT CanUnloadNow() const;
    // The library's DllRegisterServer and DllUnregisterServer, as an installer calls them;
    // CO_E_ERRORINDLL for a library without the entry point.
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

private:
    CServerLibrary(std::unique_ptr<SharedLibrary> library, DllGetClassObjectFunction getClassObject,
                   DllCanUnloadNowFunction canUnloadNow);
    HRESULT CallRegistrationEntry(const char* name) const;

    std::unique_ptr<SharedLibrary> m_library;
    DllGetClassObjectFunction m_getClassObject;
    DllCanUnloadNowFunction m_canUnloadNow;
};
