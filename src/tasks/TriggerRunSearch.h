// The next run of one trigger after a moment on the real time line: the wall-time schedule
// (TriggerSchedule) met with the wall clock (WallTimeline). A run at a time of day, a single
// run or the begin of a run day, comes the first time the clock shows its wall time: once, and
// for a time the clock skips at the first moment after the gap. The wall-time search starts from
// the latest wall time the clock has shown, so a time of day shown again after the clock went
// back is not run again. Repetitions run in real time inside their windows (RepetitionWindow); a
// window ends where the next one begins.
//
// The trigger's LastRunTime, NextRunTime (the wall time the run comes at) and window fields are
// left as the task log shows them. Called under the engine's main lock; a failure is logged as
// the calculator's and leaves the trigger without a further run; nothing is raised.
#pragma once

#include "platform/WallTimeline.h"
#include "tasks/ScheduledRun.h"
#include "tasks/ZynTaskTrigger.h"

ScheduledRun NextTriggerRun(CZynTaskTrigger& trigger, RealTime after, const WallTimeline& timeline);
