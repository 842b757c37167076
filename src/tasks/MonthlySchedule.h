// The next-run calculators of the monthly triggers: on selected days of selected months
// (type 3), and on selected weekdays of one week of selected months (type 4). They run in the
// calendar frame of the daily and weekly triggers and leave their result in the trigger the
// same way.
//
// Called under the engine's main lock. A failure is logged as CZynTaskImpl::
// CalcNextDailyRunTime's, leaves NextRunTime 0 and is answered, never raised.
#pragma once

#include "tasks/ZynTaskTrigger.h"

HRESULT CalcNextMonthlyRunTime(CZynTaskTrigger& trigger);
HRESULT CalcNextMonthlyDowRunTime(CZynTaskTrigger& trigger);
