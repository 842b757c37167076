// The self-describing value of the automation contract: a type tag and a value of that type,
// and the calls that initialise, free, copy and convert such values. A VARIANT owns what it
// holds (a string, a reference to an object) unless it holds it by reference (VT_BYREF). The
// calls are thread-safe; a VARIANT itself is used by one thread at a time.
//
// Supported types: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_UI4, VT_R4, VT_R8, VT_DATE, VT_BSTR,
// VT_BOOL, VT_ERROR, VT_UNKNOWN, VT_DISPATCH, and VT_BYREF combined with any of them or with
// VT_VARIANT. Any other type gives DISP_E_BADVARTYPE.
#pragma once

#ifdef _WIN32
#include <oaidl.h>
#include <oleauto.h>
#else

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Unknown.h"

struct IDispatch;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_BYREF = 0x4000;
inline constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;             // VT_I4
        SHORT iVal;            // VT_I2
        ULONG ulVal;           // VT_UI4
        float fltVal;          // VT_R4
        double dblVal;         // VT_R8
        DATE date;             // VT_DATE
        BSTR bstrVal;          // VT_BSTR
        VARIANT_BOOL boolVal;  // VT_BOOL
        SCODE scode;           // VT_ERROR
        IUnknown* punkVal;     // VT_UNKNOWN
        IDispatch* pdispVal;   // VT_DISPATCH
        // VT_BYREF | the type: where the value lives.
        LONG* plVal;
        SHORT* piVal;
        ULONG* pulVal;
        float* pfltVal;
        double* pdblVal;
        DATE* pdate;
        BSTR* pbstrVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

// VariantChangeType flags: VARIANT_NOVALUEPROP is accepted (objects are never asked for a
// default value here); VARIANT_ALPHABOOL writes booleans as "True" and "False" instead of
// "-1" and "0".
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// Makes an empty value (VT_EMPTY) without looking at what was there.
void VariantInit(VARIANTARG* pvarg);
// Frees what the value owns and leaves it empty.
HRESULT VariantClear(VARIANTARG* pvarg);
// Clears the destination, then copies: strings are duplicated, objects get a reference, and a
// reference (VT_BYREF) is copied as a reference.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a value held by reference is copied as the value itself.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts the source (which may be the destination itself) to `vt`. On failure the destination
// is left as it was: DISP_E_TYPEMISMATCH when the value has no form of that type (text that is
// no number or no date, null values, errors, objects to scalars), DISP_E_OVERFLOW when it is
// outside the type's range, DISP_E_BADVARTYPE for an unsupported type. Numbers are rounded to
// integers half to even; text is read without regard to the locale ("1.5", "2024-01-05 10:30";
// dates through VarDateFromStr) and dates are written as "YYYY-MM-DD[ HH:MM:SS]".
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
#endif
