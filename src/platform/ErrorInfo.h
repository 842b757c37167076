// The error record made by CreateErrorInfo: a description, a source, an interface identity
// and help fields, written through ICreateErrorInfo and read through IErrorInfo. Free-threaded;
// its fields are written by the thread that makes it before it is handed on.
#pragma once

#include <atomic>
#include <string>

#include "ZynTaskSchedulerLib/Runtime.h"

class CErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetGUID(GUID* pGUID) override;
    HRESULT GetSource(BSTR* pBstrSource) override;
    HRESULT GetDescription(BSTR* pBstrDescription) override;
    HRESULT GetHelpFile(BSTR* pBstrHelpFile) override;
    HRESULT GetHelpContext(DWORD* pdwHelpContext) override;

    HRESULT SetGUID(REFGUID rguid) override;
    HRESULT SetSource(LPOLESTR szSource) override;
    HRESULT SetDescription(LPOLESTR szDescription) override;
    HRESULT SetHelpFile(LPOLESTR szHelpFile) override;
    HRESULT SetHelpContext(DWORD dwHelpContext) override;

private:
    ~CErrorInfo() = default;

    std::atomic<ULONG> m_refCount{0};
    GUID m_guid = GUID_NULL;
    std::wstring m_source;
    std::wstring m_description;
    std::wstring m_helpFile;
    DWORD m_helpContext = 0;
};
