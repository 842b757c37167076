#include "tasks/CalendarFrame.h"

#include "tasks/RepetitionWindow.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

struct Window {
    DATE begin = 0;
    DATE end = 0;
};

Window WindowOn(ScheduleTime day, const CalendarFrameInput& in) {
    Window window;
    SetBeginEndCycleTime(day, in.begin, in.trigger, window.begin, window.end);
    return window;
}

bool Contains(const Window& window, DATE time) {
    return CompareDates(window.begin, time) <= 0 && CompareDates(time, window.end) < 0;
}

void Adopt(CZynTaskTrigger& trigger, const Window& window) {
    trigger.BeginRptCycleTime = window.begin;
    trigger.EndRptCycleTime = window.end;
}

// A reference time inside the previous run day's window (which may reach past midnight) or
// the current one runs again inside it; one between the two waits for the current window.
void RepeatInsideWindows(CZynTaskTrigger& trigger, const Window& previous, const Window& current) {
    const DATE last = trigger.LastRunTime;
    if (Contains(previous, last)) {
        Adopt(trigger, previous);
        CalcNextRepetition(trigger);
    }
    if (Contains(current, last)) {
        Adopt(trigger, current);
        CalcNextRepetition(trigger);
    }
    if (CompareDates(last, current.begin) < 0 && CompareDates(last, previous.end) > 0) {
        Adopt(trigger, current);
        trigger.NextRunTime = current.begin;
    }
}

bool EndDatePassed(const CZynTaskTrigger& trigger, DATE time) {
    return CompareDates(trigger.EndDate, 0) > 0 && CompareDates(time, trigger.EndDate) > 0;
}

}  // namespace

void RunCalendarFrame(CZynTaskTrigger& trigger, const CalendarRules& rules) {
    const DATE last = trigger.LastRunTime;
    if (EndDatePassed(trigger, last)) {
        trigger.NextRunTime = 0;
        return;
    }
    const DATE base = CompareDates(last, trigger.BeginDate) < 0 ? trigger.BeginDate : last;
    trigger.BeginRptCycleTime = 0;
    trigger.EndRptCycleTime = 0;
    const ScheduleTime begin = ToScheduleTime(trigger.BeginDate, kStartTimeFailure);
    const ScheduleTime baseTime = ToScheduleTime(base, kLastRunTimeFailure);
    // A date that converted one way converts back at any time of day.
    const DATE baseAtBeginTime = ToDate(AtTimeOfDay(baseTime, begin), kLastRunTimeFailure);
    const CalendarFrameInput in{trigger, last, base, baseAtBeginTime, begin, baseTime};

    ScheduleTime first;
    if (!rules.firstRunDay(in, first)) {
        trigger.NextRunTime = 0;
        return;
    }
    const Window current = WindowOn(first, in);
    Window previous;
    ScheduleTime previousDay;
    // The previous run day matters only for its window, and there is none without repetition.
    if (trigger.Interval > 0 && rules.previousRunDay(in, first, previousDay)) {
        previous = WindowOn(previousDay, in);
    }
    trigger.NextRunTime = ToDate(AtTimeOfDay(first, begin), kNextRunTimeFailure);
    if (trigger.Interval > 0) {
        RepeatInsideWindows(trigger, previous, current);
    }
    // A run at or after the end of the current run day's window moves to a later run day.
    if (CompareDates(last, current.end) >= 0 ||
        CompareDates(trigger.NextRunTime, current.end) >= 0) {
        const bool pastBaseDay = trigger.Interval > 0 || rules.mustPassBaseDay(in, first);
        DATE runTime = 0;
        trigger.NextRunTime = rules.nextRunTime(in, pastBaseDay, runTime) ? runTime : 0;
    }
    if (EndDatePassed(trigger, trigger.NextRunTime)) {
        trigger.NextRunTime = 0;
    }
}
