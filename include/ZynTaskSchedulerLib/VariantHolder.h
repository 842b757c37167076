// A VARIANT that clears itself: made empty, freed when destroyed, usable wherever a VARIANT*
// is asked for. Making one from text throws E_OUTOFMEMORY (as a bare HRESULT) when the string
// cannot be allocated. Neither copyable nor movable (a DISPPARAMS may point at it); one thread
// at a time.
#pragma once

#include <string_view>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "ZynTaskSchedulerLib/Variant.h"

class CVariant : public VARIANT {
public:
    CVariant() { VariantInit(this); }
    explicit CVariant(LONG value) : CVariant() {
        vt = VT_I4;
        lVal = value;
    }
    explicit CVariant(std::wstring_view text) : CVariant() {
        bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (bstrVal == nullptr) {
            throw E_OUTOFMEMORY;
        }
        vt = VT_BSTR;
    }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(this); }

    HRESULT Clear() { return VariantClear(this); }
    HRESULT CopyFrom(const VARIANT& source) { return VariantCopy(this, &source); }
    HRESULT ChangeType(VARTYPE type, USHORT flags = 0) {
        return VariantChangeType(this, this, flags, type);
    }
};
