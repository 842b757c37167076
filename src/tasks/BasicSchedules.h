// The next-run calculators of the one-time, daily and weekly triggers. Each reads the
// trigger's settings and LastRunTime (the reference time) and leaves NextRunTime (0: no further
// run) and the repetition window it falls in (BeginRptCycleTime, EndRptCycleTime).
//
// Called under the engine's main lock. A failure is logged under the calculator's name,
// leaves NextRunTime 0 and is answered, never raised. No allocation unless something fails.
#pragma once

#include "tasks/ZynTaskTrigger.h"

// Runs at BeginDate, then every Interval minutes to the end of its window, inclusive.
HRESULT CalcNextSingleRunTime(CZynTaskTrigger& trigger);
// Runs every DaysInterval days from BeginDate's day.
HRESULT CalcNextDailyRunTime(CZynTaskTrigger& trigger);
// Runs on the DaysOfWeek of every WeeksInterval-th week (Sunday to Saturday) from BeginDate's.
HRESULT CalcNextWeeklyRunTime(CZynTaskTrigger& trigger);
