// The scalar and record types of the automation contract, with the sizes the contract gives
// them on every platform (a LONG and an HRESULT are 32 bits even where `long` is 64).
// Plain data; nothing here allocates, locks or fails.
#pragma once

#ifdef _WIN32
// The system's own types.
#include <windows.h>
// (after windows.h, which it needs)
#include <oleauto.h>
#else

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = int;
using UINT = unsigned int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using BOOL = int;
using LCID = DWORD;
using HRESULT = std::int32_t;
using SCODE = HRESULT;
using OLECHAR = wchar_t;
using WCHAR = wchar_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using VARTYPE = std::uint16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using DATE = double;
using VARIANT_BOOL = std::int16_t;
using DISPID = LONG;
using MEMBERID = DISPID;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}
constexpr bool IsEqualGUID(const GUID& a, const GUID& b) {
    return a == b;
}

// A calendar time; which fields are read depends on the routine that takes it.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// 100-nanosecond intervals since 1 January 1601.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// Positive system error codes become HRESULTs of the Win32 facility; 0 and negative values
// are HRESULTs already.
constexpr HRESULT HRESULT_FROM_WIN32(long error) {
    return error <= 0 ? static_cast<HRESULT>(error)
                      : static_cast<HRESULT>((static_cast<DWORD>(error) & 0xFFFFu) | 0x80070000u);
}
constexpr WORD HRESULT_CODE(HRESULT hr) {
    return static_cast<WORD>(hr & 0xFFFF);
}
constexpr WORD HRESULT_FACILITY(HRESULT hr) {
    return static_cast<WORD>((hr >> 16) & 0x1FFF);
}
#endif
