#include "platform/ErrorInfo.h"

#include <new>

namespace {

HRESULT CopyOut(const std::wstring& text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The slot owns one reference to the thread's record and drops it when the thread ends.
struct ErrorSlot {
    IErrorInfo* record = nullptr;

    ~ErrorSlot() { Reset(nullptr); }

    void Reset(IErrorInfo* next) {
        if (next != nullptr) {
            next->AddRef();
        }
        if (record != nullptr) {
            record->Release();
        }
        record = next;
    }
};

thread_local ErrorSlot t_errorSlot;

}  // namespace

HRESULT CErrorInfo::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
        *ppvObject = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_ICreateErrorInfo) {
        *ppvObject = static_cast<ICreateErrorInfo*>(this);
    } else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CErrorInfo::AddRef() {
    return ++m_refCount;
}

ULONG CErrorInfo::Release() {
    const ULONG remaining = --m_refCount;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

HRESULT CErrorInfo::GetGUID(GUID* pGUID) {
    if (pGUID == nullptr) {
        return E_POINTER;
    }
    *pGUID = m_guid;
    return S_OK;
}

HRESULT CErrorInfo::GetSource(BSTR* pBstrSource) {
    return CopyOut(m_source, pBstrSource);
}

HRESULT CErrorInfo::GetDescription(BSTR* pBstrDescription) {
    return CopyOut(m_description, pBstrDescription);
}

HRESULT CErrorInfo::GetHelpFile(BSTR* pBstrHelpFile) {
    return CopyOut(m_helpFile, pBstrHelpFile);
}

HRESULT CErrorInfo::GetHelpContext(DWORD* pdwHelpContext) {
    if (pdwHelpContext == nullptr) {
        return E_POINTER;
    }
    *pdwHelpContext = m_helpContext;
    return S_OK;
}

HRESULT CErrorInfo::SetGUID(REFGUID rguid) {
    m_guid = rguid;
    return S_OK;
}

HRESULT CErrorInfo::SetSource(LPOLESTR szSource) {
    m_source = szSource == nullptr ? L"" : szSource;
    return S_OK;
}

HRESULT CErrorInfo::SetDescription(LPOLESTR szDescription) {
    m_description = szDescription == nullptr ? L"" : szDescription;
    return S_OK;
}

HRESULT CErrorInfo::SetHelpFile(LPOLESTR szHelpFile) {
    m_helpFile = szHelpFile == nullptr ? L"" : szHelpFile;
    return S_OK;
}

HRESULT CErrorInfo::SetHelpContext(DWORD dwHelpContext) {
    m_helpContext = dwHelpContext;
    return S_OK;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** ppCreateErrorInfo) {
    if (ppCreateErrorInfo == nullptr) {
        return E_INVALIDARG;
    }
    auto* record = new (std::nothrow) CErrorInfo;
    if (record == nullptr) {
        *ppCreateErrorInfo = nullptr;
        return E_OUTOFMEMORY;
    }
    return record->QueryInterface(IID_ICreateErrorInfo,
                                  reinterpret_cast<void**>(ppCreateErrorInfo));
}

HRESULT SetErrorInfo(ULONG /*reserved*/, IErrorInfo* pErrorInfo) {
    t_errorSlot.Reset(pErrorInfo);
    return S_OK;
}

HRESULT GetErrorInfo(ULONG /*reserved*/, IErrorInfo** ppErrorInfo) {
    if (ppErrorInfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppErrorInfo = t_errorSlot.record;
    t_errorSlot.record = nullptr;
    return *ppErrorInfo == nullptr ? S_FALSE : S_OK;
}
