// The value types the variant routines handle (without VT_BYREF): VT_EMPTY, VT_NULL, VT_I2,
// VT_I4, VT_UI4, VT_R4, VT_R8, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR, VT_UNKNOWN, VT_DISPATCH.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

bool IsSupportedVariantType(VARTYPE type);
