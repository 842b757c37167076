// What travels with a queued run from the moment it was queued to the processor that starts
// it: the run it stands for (due time and why it runs), when it was queued, and the time limit
// of its task. Values only.
#pragma once

#include <optional>
#include <string>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WallClock.h"
#include "tasks/RunRecord.h"

struct RunTicket {
    // The scheduled run, as the wall clock read at its moment; none for a run asked for now.
    std::optional<WallClock::TimePoint> due;
    RunReason reason = RunReason::RunNow;
    WallClock::TimePoint queued{};
    std::optional<DWORD> timeLimitMinutes;
    std::wstring detail;  // what the record says besides the outcome (a run that waited, ...)
};
