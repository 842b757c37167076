// Late-bound calls: IDispatch finds a member by name and calls it with arguments packed as
// VARIANTs, the way scripts and event sources call objects. Arguments arrive in reverse order
// (rgvarg[0] is the last one); an omitted optional argument is VT_ERROR with
// DISP_E_PARAMNOTFOUND; a property put passes its value as the named argument
// DISPID_PROPERTYPUT. Thread safety and ownership are those of each object.
#pragma once

#ifdef _WIN32
#include <oaidl.h>
#else

#include "ZynTaskSchedulerLib/Variant.h"

inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// The interface argument every IDispatch call takes.
inline constexpr IID IID_NULL = GUID_NULL;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// What a failed member reported, filled by Invoke when it answers DISP_E_EXCEPTION. The caller
// frees the strings.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// Type information is not provided by the objects of this platform (GetTypeInfoCount answers
// 0); the type is declared only so that IDispatch keeps its slots.
struct ITypeInfo;

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};
#endif
