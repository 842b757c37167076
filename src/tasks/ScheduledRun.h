// One run of a task as the scheduler will make it: the moment on the real time line, the wall
// time the schedule names for it, and whether the clock skips that wall time (the run then comes
// at the first moment after the gap). A plain value.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WallTimeline.h"

struct ScheduledRun {
    RealTime at = 0;  // 0: no further run
    WallTime named = 0;
    bool moved = false;
    LONG trigger = -1;  // the position of the trigger that makes it, in the task's list

    bool IsRun() const { return at != 0; }
};
