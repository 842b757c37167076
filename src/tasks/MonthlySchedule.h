// The next-run calculators of the monthly triggers: on selected days of selected months
// (type 3), and on selected weekdays of one week of selected months (type 4). They run in the
// calendar frame of the daily and weekly triggers and leave their result in the trigger the
// same way; their day searches are handed out as theirs are.
//
// Called under the engine's main lock. A failure is logged as CZynTaskImpl::
// CalcNextDailyRunTime's, leaves NextRunTime 0 and is answered, never raised.
#pragma once

#include "tasks/CalendarFrame.h"
#include "tasks/ZynTaskTrigger.h"

HRESULT CalcNextMonthlyRunTime(CZynTaskTrigger& trigger);
HRESULT CalcNextMonthlyDowRunTime(CZynTaskTrigger& trigger);

// The day searches of each, null when the settings describe no schedule.
const CalendarRules* MonthlyDayRules(const CZynTaskTrigger& trigger);
const CalendarRules* MonthlyDowRules(const CZynTaskTrigger& trigger);
