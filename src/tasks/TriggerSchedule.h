// The wall-time computation of one trigger, whatever its type: the next run at its begin time of
// day (repetition left aside) from the once, daily, weekly and monthly calculators, types from 8
// up computed as once, and nothing for the idle (5), unscheduled (6, 7) and ignored (negative)
// types, whose NextRunTime stays as it is; and the day searches of the calendar types.
//
// Called under the engine's main lock; a calculator's failure is logged and leaves the
// trigger without a next run; nothing is raised.
#pragma once

#include "tasks/CalendarFrame.h"
#include "tasks/ZynTaskTrigger.h"

void CalculateTriggerNextRunTime(CZynTaskTrigger& trigger);

// Whether the trigger runs once, at BeginDate (types 0 and from 8 up).
bool IsSingleRunTrigger(const CZynTaskTrigger& trigger);
// Whether the trigger's type runs by the calendar at all (types 0 to 4 and from 8 up).
bool HasWallSchedule(const CZynTaskTrigger& trigger);
// The day searches of a calendar trigger (types 1 to 4); null for the other types and for
// settings that describe no schedule.
const CalendarRules* CalendarRulesOf(const CZynTaskTrigger& trigger);
