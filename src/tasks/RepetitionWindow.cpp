#include "tasks/RepetitionWindow.h"

#include <limits>

#include "tasks/ScheduleArithmetic.h"

RepetitionWindow::RepetitionWindow(ScheduleTime begin, const CZynTaskTrigger& trigger,
                                   const WallTimeline& timeline)
    : m_wallBegin(WallTimeOf(begin)),
      m_wallEndDate(0),
      m_begin(timeline.FirstShowing(m_wallBegin)),
      m_end(std::numeric_limits<RealTime>::max()),
      m_step(trigger.Interval * kMicrosecondsPerMinute) {
    ToDate(begin, kNextRunTimeFailure);  // raises for a begin beyond the calendar
    ScheduleTime end = begin;
    if (StepClock(end.day, end.second, trigger.Duration, kUnitMinutes) && end.day < kEndDateDay) {
        m_wallEndDate = JoinDate(end.day, end.second);
        m_end = timeline.LastShowing(WallTimeOf(end));
    }
}

RealTime RepetitionWindow::RunAfter(RealTime after, bool endIncluded, RealTime limit) const {
    if (after < m_begin) {
        return m_begin < limit ? m_begin : 0;
    }
    const RealTime run = m_begin + ((after - m_begin) / m_step + 1) * m_step;
    const bool inside = endIncluded ? run <= m_end : run < m_end;
    return inside && run < limit ? run : 0;
}

void RepetitionWindow::Describe(CZynTaskTrigger& trigger) const {
    trigger.BeginRptCycleTime = DateOfWallTime(m_wallBegin);
    trigger.EndRptCycleTime = m_wallEndDate;
}
