// Activation by class identity and the ProgID lookups, all read from HKEY_CLASSES_ROOT. Only
// the in-process step exists on this platform; every other server kind is "not registered".
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/ComApartment.h"
#include "platform/GuidText.h"
#include "platform/InprocServers.h"

namespace {

std::wstring ClassKeyPath(REFCLSID clsid) {
    return L"CLSID\\" + GuidText(clsid);
}

// The text of the default value of a key under HKEY_CLASSES_ROOT; nullopt when the key or the
// value is missing or the value is not a string.
std::optional<std::wstring> DefaultText(const std::wstring& keyPath) {
    HKEY key{};
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::vector<BYTE> data;
    LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.resize(size);
        status = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return RegStringText(data.data(), size);
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* /*pvReserved*/, REFIID riid,
                         void** ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!CanUseObjectRuntime()) {
        return CO_E_NOTINITIALIZED;
    }
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    const auto library = DefaultText(ClassKeyPath(rclsid) + L"\\InprocServer32");
    if (!library || library->empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    return CInprocServers::GetClassObject(*library, rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(factory.Receive()));
    return FAILED(hr) ? hr : factory->CreateInstance(pUnkOuter, riid, ppv);
}

void CoFreeUnusedLibraries() {
    CInprocServers::FreeUnused();
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) {
        return E_INVALIDARG;
    }
    const std::wstring progId = lpszProgID;
    if (progId.empty() || progId.find(L'\\') != std::wstring::npos) {
        return CO_E_CLASSSTRING;
    }
    const auto text = DefaultText(progId + L"\\CLSID");
    return text ? CLSIDFromString(text->c_str(), lpclsid) : CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) {
        return E_INVALIDARG;
    }
    *lplpszProgID = nullptr;
    const auto progId = DefaultText(ClassKeyPath(clsid) + L"\\ProgID");
    if (!progId || progId->empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    const std::size_t bytes = (progId->size() + 1) * sizeof(OLECHAR);
    auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (text == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(text, progId->c_str(), bytes);
    *lplpszProgID = text;
    return S_OK;
}
