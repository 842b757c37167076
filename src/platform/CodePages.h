// The code pages that name a text file's encoding (Windows' numbers, and its own constants
// there). Plain constants.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

#ifndef _WIN32
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
#endif
inline constexpr UINT CP_UTF16LE = 1200;
