// How the engine writes times in its messages: the local time as "hh:mm:ss on dd/mm/yyyy",
// and a DATE as "mm/dd/yyyy hh:mm:ss" (an unusable date gives an empty text). Pure.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

std::wstring LocalTimeText();
std::wstring DateText(DATE date);
