// The runtime calls a client of the library makes: strings that cross interfaces, error
// records, GUIDs, automation dates, the thread's object runtime and the activation of classes.
// All are thread-safe; error records and the runtime's initialisation are kept per thread.
// Strings returned as BSTR belong to the caller, who frees them with SysFreeString.
#pragma once

#ifdef _WIN32
#include <objbase.h>
#include <oleauto.h>

#include "ZynTaskSchedulerLib/HResults.h"
#else

#include <cstddef>
#include "ZynTaskSchedulerLib/HResults.h"

#include "ZynTaskSchedulerLib/Unknown.h"

// Strings: a length-prefixed, zero-terminated wide buffer. Null stands for the empty string.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
UINT SysStringLen(BSTR text);
void SysFreeString(BSTR text);

// Error records, one slot per thread. SetErrorInfo takes its own reference (null clears the
// slot); GetErrorInfo hands the record to the caller and empties the slot, S_FALSE when empty.
HRESULT CreateErrorInfo(ICreateErrorInfo** ppCreateErrorInfo);
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* pErrorInfo);
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** ppErrorInfo);

// GUIDs in their braced upper-case registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* pclsid);
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);
HRESULT CoCreateGuid(GUID* pguid);

// Automation dates: days since 30 December 1899, the fraction the time of day.
// VariantTimeToSystemTime rounds to the nearest second; SystemTimeToVariantTime ignores
// milliseconds. Both answer FALSE for dates outside the years 100 to 9999.
INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* lpSystemTime);
INT SystemTimeToVariantTime(const SYSTEMTIME* lpSystemTime, DATE* pvtime);

// Date text: "YYYY-MM-DD", "YYYY-MM-DDTHH:MM[:SS]", "YYYY-MM-DD HH:MM[:SS]" or
// "MM/DD/YYYY[ HH:MM[:SS]]", surrounding spaces allowed, read the same in every locale
// (lcid and dwFlags are accepted and ignored). DISP_E_TYPEMISMATCH for anything else,
// including dates that do not exist.
HRESULT VarDateFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DATE* pdateOut);

// Memory handed from callee to caller outside BSTRs (ProgIDFromCLSID's text).
void* CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(void* pv);

// The object runtime of the calling thread. Objects here are all free-threaded, so the
// apartment is bookkeeping: the first call answers S_OK, later ones S_FALSE (each needs its
// CoUninitialize), and asking for the other kind than the thread's gives RPC_E_CHANGED_MODE.
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
void CoUninitialize();

// Activation. A class is registered under HKEY_CLASSES_ROOT\CLSID\{clsid}, its library named
// by the default value of the subkey InprocServer32; the library is loaded on first use and
// its DllGetClassObject asked for the factory. Only in-process servers exist here: a class
// without one, or a context without CLSCTX_INPROC_SERVER, gives REGDB_E_CLASSNOTREG. A missing
// library gives CO_E_DLLNOTFOUND, one that cannot be loaded or lacks the entry point
// CO_E_ERRORINDLL. A thread must have initialised the runtime, or some thread must be in the
// multithreaded apartment (CO_E_NOTINITIALIZED otherwise). Libraries stay loaded until
// CoFreeUnusedLibraries finds them unused (their DllCanUnloadNow answers S_OK) or the process
// ends.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_SERVER = 0x15;
inline constexpr DWORD CLSCTX_ALL = 0x17;
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid,
                         void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
void CoFreeUnusedLibraries();

// HKEY_CLASSES_ROOT\<ProgID>\CLSID names the class of a ProgID (CO_E_CLASSSTRING when it does
// not); HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID the ProgID of a class (REGDB_E_CLASSNOTREG
// when it does not; the text is freed with CoTaskMemFree).
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
#endif
