// The runtime calls a client of the library makes: strings that cross interfaces, error
// records, GUIDs and automation dates. All are thread-safe; error records are kept per
// thread. Strings returned as BSTR belong to the caller, who frees them with SysFreeString.
#pragma once

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
