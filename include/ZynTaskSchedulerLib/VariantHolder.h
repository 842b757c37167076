// A VARIANT that clears itself: made empty, freed when destroyed, usable wherever a VARIANT*
// is asked for. Making one from text throws E_OUTOFMEMORY (as a bare HRESULT) when the string
// cannot be allocated. Neither copyable nor movable (a DISPPARAMS may point at it); one thread
// at a time.
#pragma once

#include <string_view>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "ZynTaskSchedulerLib/Variant.h"

class CVariantHolder : public VARIANT {
public:
    CVariantHolder() { VariantInit(this); }
    explicit CVariantHolder(LONG value) : CVariantHolder() {
        vt = VT_I4;
        lVal = value;
    }
    explicit CVariantHolder(std::wstring_view text) : CVariantHolder() {
        bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (bstrVal == nullptr) {
            throw E_OUTOFMEMORY;
        }
        vt = VT_BSTR;
    }
    CVariantHolder(const CVariantHolder&) = delete;
    CVariantHolder& operator=(const CVariantHolder&) = delete;
    ~CVariantHolder() { VariantClear(this); }

    HRESULT Clear() { return VariantClear(this); }
    // (Windows declares the source without const, though it is only read.)
    HRESULT CopyFrom(const VARIANT& source) {
        return VariantCopy(this, const_cast<VARIANT*>(&source));
    }
    HRESULT ChangeType(VARTYPE type, USHORT flags = 0) {
        return VariantChangeType(this, this, flags, type);
    }
};
