// Optional VARIANT arguments of automation methods: a caller leaves one out by passing nothing
// (VT_EMPTY) or, as late-bound callers do, VT_ERROR with DISP_E_PARAMNOTFOUND. Pure.
#pragma once

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Variant.h"

inline bool IsOmitted(const VARIANT& value) {
    return value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}
