// Repetition inside a run day: a trigger with an Interval opens a window at its begin time of
// day on every run day, lasting Duration minutes, and runs every Interval minutes inside it.
//
// Thread safety: the trigger is read (and, by CalcNextRepetition, written) without a lock; the
// caller holds the engine's main lock. Neither function raises.
#pragma once

#include "tasks/ScheduleSteps.h"
#include "tasks/ZynTaskTrigger.h"

// The window opened on `day` (only its date counts): begin at the trigger's begin time of day,
// end Duration minutes later. Both are 0 for a trigger without repetition. A failure is
// logged as CZynTaskImpl::SetBeginEndCycleTime's, and the outputs keep what they held.
void SetBeginEndCycleTime(DATE day, const CZynTaskTrigger& trigger, DATE& begin, DATE& end);
// The same for a day and begin time the caller holds as schedule time already.
void SetBeginEndCycleTime(ScheduleTime day, ScheduleTime beginTime, const CZynTaskTrigger& trigger,
                          DATE& begin, DATE& end);

// The next run after LastRunTime inside the window that starts at BeginRptCycleTime, into
// NextRunTime; never earlier than BeginDate, and not checked against the window's end.
// Nothing changes when LastRunTime is before the window or the trigger has no Interval.
void CalcNextRepetition(CZynTaskTrigger& trigger);
