// The one-line English description of a trigger's schedule, as task documents and task logs
// show it ("At 08:05:00 every day, starting 03/07/2006").
//
// Reads the trigger only; thread-safe for a trigger nobody changes meanwhile. A failure is
// logged as CZynTaskImpl::GetTriggerDescription's and the text built so far is returned.
#pragma once

#include <string>

#include "tasks/ZynTaskTrigger.h"

std::wstring GetTriggerDescription(const CZynTaskTrigger& trigger);
