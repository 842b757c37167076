// The next-run calculators of the one-time, daily and weekly triggers, in wall time and without
// repetition (TriggerRunSearch keeps windows in real time). Each reads the trigger's settings
// and LastRunTime (the reference time) and leaves NextRunTime (0: no further run); the daily
// and weekly day searches are also handed out for the run days of repetition windows.
//
// Called under the engine's main lock. A failure is logged under the calculator's name,
// leaves NextRunTime 0 and is answered, never raised. No allocation unless something fails.
#pragma once

#include "tasks/CalendarFrame.h"
#include "tasks/ZynTaskTrigger.h"

// Runs at BeginDate.
HRESULT CalcNextSingleRunTime(CZynTaskTrigger& trigger);
// Runs every DaysInterval days from BeginDate's day.
HRESULT CalcNextDailyRunTime(CZynTaskTrigger& trigger);
// Runs on the DaysOfWeek of every WeeksInterval-th week (Sunday to Saturday) from BeginDate's.
HRESULT CalcNextWeeklyRunTime(CZynTaskTrigger& trigger);

// The day searches of each, null when the settings describe no schedule.
const CalendarRules* DailyRules(const CZynTaskTrigger& trigger);
const CalendarRules* WeeklyRules(const CZynTaskTrigger& trigger);
