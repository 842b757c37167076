// An example task handler in a library of its own, written against the public headers only,
// as another component would write one. A task document names it by its ProgID:
//
//   <HandlerCLSID>Example.MarkerHandler</HandlerCLSID>
//   <MarkerFile>/path/to/file</MarkerFile>
//
// and each run appends the task's identity as a line to the marker file. The handler runs
// synchronously: ProcessTaskAsync answers E_NOTIMPL, so the scheduler calls ProcessTask on its
// worker thread and counts the task finished when it returns. It fires no events and has no
// type information; late-bound callers are turned away.
//
// Build it as a shared library linked with libZynPlatform.so, then register it once
// (zyntask's "register" does this for the scheduler library; for a plug-in, its installer
// loads it and calls DllRegisterServer, as tests/apps does).
#include <dlfcn.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/ClassFactory.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"

namespace {

constexpr CLSID CLSID_MarkerHandler = {
    0x5E0B7C41, 0x2A8D, 0x4F36, {0x9C, 0x1E, 0x7B, 0x44, 0x0D, 0x92, 0xA6, 0x13}};
constexpr wchar_t kProgId[] = L"Example.MarkerHandler";

std::atomic<long> g_liveObjects{0};

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // identities and paths here are ASCII
}

// The text of the first <name> element of the document, found without an XML parser: the
// example keeps to the headers a plug-in has.
std::wstring ElementText(const std::wstring& xml, const std::wstring& name) {
    const std::wstring open = L"<" + name + L">";
    const std::size_t begin = xml.find(open);
    const std::size_t end = xml.find(L"</" + name + L">");
    if (begin == std::wstring::npos || end == std::wstring::npos || end < begin) {
        return {};
    }
    return xml.substr(begin + open.size(), end - begin - open.size());
}

// Reference counting shared by the handler and its factory.
template <class Interface>
class CountedObject : public Interface {
public:
    CountedObject() { ++g_liveObjects; }
    virtual ~CountedObject() { --g_liveObjects; }
    ULONG AddRef() override { return static_cast<ULONG>(++m_references); }
    ULONG Release() override {
        const long left = --m_references;
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

private:
    std::atomic<long> m_references{1};
};

class MarkerHandler final : public CountedObject<IZynScheduledTaskHandler> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IZynScheduledTaskHandler) {
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = static_cast<IZynScheduledTaskHandler*>(this);
        return S_OK;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT ProcessTask(BSTR taskGuid, BSTR taskXml) override {
        const std::wstring xml(taskXml == nullptr ? L"" : taskXml, SysStringLen(taskXml));
        const std::wstring markerFile = ElementText(xml, L"MarkerFile");
        if (markerFile.empty()) {
            return E_INVALIDARG;
        }
        std::ofstream marker(Narrow(markerFile), std::ios::app);
        marker << Narrow(std::wstring(taskGuid == nullptr ? L"" : taskGuid)) << '\n';
        return marker ? S_OK : E_FAIL;
    }
    HRESULT ProcessTaskAsync(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT CancelTask() override { return S_OK; }  // a run is over before anyone could cancel
};

class MarkerHandlerFactory final : public CountedObject<IClassFactory> {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        MarkerHandler* handler = new MarkerHandler();
        const HRESULT hr = handler->QueryInterface(riid, ppv);
        handler->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

std::wstring ClassText() {
    wchar_t text[40] = {};
    StringFromGUID2(CLSID_MarkerHandler, text, 40);
    return text;
}

std::wstring OwnFile() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFile), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    return std::wstring(path.begin(), path.end());
}

LSTATUS SetDefaultText(const std::wstring& key, const std::wstring& text) {
    HKEY opened{};
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE,
                                     nullptr, &opened, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::vector<BYTE> data = RegStringData(text);
        status = RegSetValueExW(opened, nullptr, 0, REG_SZ, data.data(),
                                static_cast<DWORD>(data.size()));
        RegCloseKey(opened);
    }
    return status;
}

}  // namespace

ZYN_SERVER_ENTRY HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (rclsid != CLSID_MarkerHandler) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    MarkerHandlerFactory* factory = new MarkerHandlerFactory();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

ZYN_SERVER_ENTRY HRESULT DllCanUnloadNow() {
    return g_liveObjects == 0 ? S_OK : S_FALSE;
}

// The two keys activation by ProgID reads: the ProgID's class, and the class's library.
ZYN_SERVER_ENTRY HRESULT DllRegisterServer() {
    for (const LSTATUS status :
         {SetDefaultText(std::wstring(kProgId) + L"\\CLSID", ClassText()),
          SetDefaultText(L"CLSID\\" + ClassText() + L"\\InprocServer32", OwnFile())}) {
        if (status != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

ZYN_SERVER_ENTRY HRESULT DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClassText()).c_str());
    return S_OK;
}
