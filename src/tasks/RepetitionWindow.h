// A repetition window, kept in real time. It opens on a run day when the wall clock first shows
// the trigger's begin time of day (a begin the clock skips: the first moment after the gap) and
// closes when the clock shows that time plus Duration minutes for the last time; inside it the
// trigger runs every Interval minutes of real time from the opening. So a clock change inside a
// window, a zone's or a clock set by hand, makes no two runs for one moment and leaves no more
// than an Interval without a run, and the window still spans the wall times it names. On days
// without a change this is the window of the begin time of day and Duration, run every
// Interval minutes.
//
// A plain value. The constructor raises E_FAIL (CEThrowError) when the begin leaves the
// calendar; an end beyond the calendar never comes.
#pragma once

#include "platform/WallTimeline.h"
#include "tasks/ScheduleSteps.h"
#include "tasks/ZynTaskTrigger.h"

class RepetitionWindow {
public:
    // The window opening at `begin`, a run day at the trigger's begin time of day.
    RepetitionWindow(ScheduleTime begin, const CZynTaskTrigger& trigger,
                     const WallTimeline& timeline);

    RealTime Begin() const { return m_begin; }
    bool Contains(RealTime moment) const { return m_begin <= moment && moment < m_end; }
    // The first run after `after` and before `limit`: the opening, or the next of the grid; 0
    // when the window has none left. A run at the very end counts when `endIncluded`.
    RealTime RunAfter(RealTime after, bool endIncluded, RealTime limit) const;
    // The wall time the window opens at, as the schedule names it.
    WallTime WallBegin() const { return m_wallBegin; }
    // Leaves the window's wall bounds in the trigger's BeginRptCycleTime and EndRptCycleTime.
    void Describe(CZynTaskTrigger& trigger) const;

private:
    WallTime m_wallBegin;
    DATE m_wallEndDate;  // 0 when the end is beyond the calendar
    RealTime m_begin;
    RealTime m_end;
    std::int64_t m_step;  // microseconds
};
