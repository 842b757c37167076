// What the task log document says about a trigger and a date: the element list of one
// Trigger entry (the trigger's fields under their own names, the type-specific ones only for
// their type) and the date text every entry of the document uses.
//
// Thread-safe: nothing is shared; the caller owns the document it builds into. A date that is
// no calendar time raises E_FAIL (CEThrowError).
#pragma once

#include <string>

#include "platform/XmlDocument.h"
#include "tasks/ZynTaskTrigger.h"

// "None" for a date not after day 0, else month-day-year and the time, as 03-07-2024 14:05:09.
std::wstring FormatLogDate(DATE date);

// Appends a Trigger element describing `trigger` as the last child of `triggers`.
void AppendTriggerState(const XmlNode& triggers, const CZynTaskTrigger& trigger);
