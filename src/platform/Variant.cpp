// Ownership of VARIANT contents: strings and object references are owned, values held by
// reference are not.
#include "ZynTaskSchedulerLib/Variant.h"

#include "ZynTaskSchedulerLib/Dispatch.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/VariantTypes.h"

namespace {

bool IsSupported(VARTYPE type) {
    if ((type & VT_BYREF) != 0) {
        const VARTYPE base = type & ~VT_BYREF;
        return base == VT_VARIANT ||
               (IsSupportedVariantType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return IsSupportedVariantType(type);
}

// The value a reference points at, as a value of its own (not yet owning anything).
VARIANT Dereferenced(const VARIANT& reference) {
    VARIANT value;
    VariantInit(&value);
    value.vt = reference.vt & ~VT_BYREF;
    switch (value.vt) {
        case VT_I2:
            value.iVal = *reference.piVal;
            break;
        case VT_I4:
            value.lVal = *reference.plVal;
            break;
        case VT_UI4:
            value.ulVal = *reference.pulVal;
            break;
        case VT_R4:
            value.fltVal = *reference.pfltVal;
            break;
        case VT_R8:
            value.dblVal = *reference.pdblVal;
            break;
        case VT_DATE:
            value.date = *reference.pdate;
            break;
        case VT_BSTR:
            value.bstrVal = *reference.pbstrVal;
            break;
        case VT_BOOL:
            value.boolVal = *reference.pboolVal;
            break;
        case VT_ERROR:
            value.scode = *reference.pscode;
            break;
        case VT_UNKNOWN:
            value.punkVal = *reference.ppunkVal;
            break;
        case VT_DISPATCH:
            value.pdispVal = *reference.ppdispVal;
            break;
        default:
            break;
    }
    return value;
}

}  // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        *pvarg = VARIANT{};
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsSupported(pvarg->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (pvarg->vt == VT_BSTR) {
        SysFreeString(pvarg->bstrVal);
    } else if (pvarg->vt == VT_UNKNOWN && pvarg->punkVal != nullptr) {
        pvarg->punkVal->Release();
    } else if (pvarg->vt == VT_DISPATCH && pvarg->pdispVal != nullptr) {
        pvarg->pdispVal->Release();
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    if (!IsSupported(pvargSrc->vt)) {
        return DISP_E_BADVARTYPE;
    }
    // The copy takes its own reference before the destination lets go of what it holds, which
    // may be the same object.
    VARIANT copy = *pvargSrc;
    if (copy.vt == VT_BSTR && copy.bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (copy.bstrVal == nullptr) {
            return E_OUTOFMEMORY;
        }
    } else if (copy.vt == VT_UNKNOWN && copy.punkVal != nullptr) {
        copy.punkVal->AddRef();
    } else if (copy.vt == VT_DISPATCH && copy.pdispVal != nullptr) {
        copy.pdispVal->AddRef();
    }
    if (const HRESULT hr = VariantClear(pvargDest); FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (pvarDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if ((pvargSrc->vt & VT_BYREF) == 0) {
        return VariantCopy(pvarDest, pvargSrc);
    }
    if (!IsSupported(pvargSrc->vt) || pvargSrc->byref == nullptr) {
        return pvargSrc->byref == nullptr ? E_INVALIDARG : DISP_E_BADVARTYPE;
    }
    if (pvargSrc->vt == (VT_BYREF | VT_VARIANT)) {
        const VARIANT* inner = pvargSrc->pvarVal;
        return (inner->vt & VT_BYREF) != 0 ? E_INVALIDARG : VariantCopy(pvarDest, inner);
    }
    const VARIANT value = Dereferenced(*pvargSrc);
    return VariantCopy(pvarDest, &value);
}

bool IsSupportedVariantType(VARTYPE type) {
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_ERROR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return true;
        default:
            return false;
    }
}
