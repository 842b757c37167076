// The next-run computation of one trigger, whatever its type: the once, daily, weekly and
// monthly calculators, types from 8 up computed as once, and nothing for the idle (5),
// unscheduled (6, 7) and ignored (negative) types, whose NextRunTime stays as it is.
//
// Called under the engine's main lock; a calculator's failure is logged and leaves the
// trigger without a next run; nothing is raised.
#pragma once

#include "tasks/ZynTaskTrigger.h"

void CalculateTriggerNextRunTime(CZynTaskTrigger& trigger);
