#include "platform/ServerLibrary.h"

#include <dlfcn.h>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/WideText.h"

HRESULT CServerLibrary::Load(const std::wstring& path, std::unique_ptr<CServerLibrary>& library) {
    FileStatus status;
    if (QueryFileStatus(path, status, true) != ERROR_SUCCESS || !status.isRegularFile) {
        return CO_E_DLLNOTFOUND;
    }
    void* handle = ::dlopen(WideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return CO_E_ERRORINDLL;
    }
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        ::dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    const auto canUnloadNow =
        reinterpret_cast<DllCanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
    library.reset(new CServerLibrary(handle, getClassObject, canUnloadNow));
    return S_OK;
}

CServerLibrary::CServerLibrary(void* handle, DllGetClassObjectFunction getClassObject,
                               DllCanUnloadNowFunction canUnloadNow)
    : m_handle(handle), m_getClassObject(getClassObject), m_canUnloadNow(canUnloadNow) {}

CServerLibrary::~CServerLibrary() {
    ::dlclose(m_handle);
}

HRESULT CServerLibrary::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const {
    return m_getClassObject(rclsid, riid, ppv);
}

HRESULT CServerLibrary::CanUnloadNow() const {
    return m_canUnloadNow == nullptr ? S_FALSE : m_canUnloadNow();
}

HRESULT CServerLibrary::RegisterServer() const {
    return CallRegistrationEntry("DllRegisterServer");
}

HRESULT CServerLibrary::UnregisterServer() const {
    return CallRegistrationEntry("DllUnregisterServer");
}

HRESULT CServerLibrary::CallRegistrationEntry(const char* name) const {
    const auto entry = reinterpret_cast<DllRegisterServerFunction>(::dlsym(m_handle, name));
    return entry == nullptr ? CO_E_ERRORINDLL : entry();
}
