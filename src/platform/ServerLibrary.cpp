#include "platform/ServerLibrary.h"

#include "platform/FileSystem.h"

HRESULT CServerLibrary::Load(const std::wstring& path, std::unique_ptr<CServerLibrary>& library) {
    FileStatus status;
    if (QueryFileStatus(path, status, true) != ERROR_SUCCESS || !status.isRegularFile) {
        return CO_E_DLLNOTFOUND;
    }
    std::unique_ptr<SharedLibrary> loaded = SharedLibrary::Open(path);
    if (!loaded) {
        return CO_E_ERRORINDLL;
    }
    const auto getClassObject =
        reinterpret_cast<DllGetClassObjectFunction>(loaded->Export("DllGetClassObject"));
    if (getClassObject == nullptr) {
        return CO_E_ERRORINDLL;
    }
    const auto canUnloadNow =
        reinterpret_cast<DllCanUnloadNowFunction>(loaded->Export("DllCanUnloadNow"));
    library.reset(new CServerLibrary(std::move(loaded), getClassObject, canUnloadNow));
    return S_OK;
}

CServerLibrary::CServerLibrary(std::unique_ptr<SharedLibrary> library,
                               DllGetClassObjectFunction getClassObject,
                               DllCanUnloadNowFunction canUnloadNow)
    : m_library(std::move(library)),
      m_getClassObject(getClassObject),
      m_canUnloadNow(canUnloadNow) {}

CServerLibrary::~CServerLibrary() = default;

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
    const auto entry = reinterpret_cast<DllRegisterServerFunction>(m_library->Export(name));
    return entry == nullptr ? CO_E_ERRORINDLL : entry();
}
