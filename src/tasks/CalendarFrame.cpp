#include "tasks/CalendarFrame.h"

#include "tasks/ScheduleArithmetic.h"

namespace {

bool EndDatePassed(const CZynTaskTrigger& trigger, DATE time) {
    return CompareDates(trigger.EndDate, 0) > 0 && CompareDates(time, trigger.EndDate) > 0;
}

CalendarFrameInput InputOf(const CZynTaskTrigger& trigger) {
    const DATE last = trigger.LastRunTime;
    const DATE base = CompareDates(last, trigger.BeginDate) < 0 ? trigger.BeginDate : last;
    const ScheduleTime begin = ToScheduleTime(trigger.BeginDate, kStartTimeFailure);
    const ScheduleTime baseTime = ToScheduleTime(base, kLastRunTimeFailure);
    // A date that converted one way converts back at any time of day.
    const DATE baseAtBeginTime = ToDate(AtTimeOfDay(baseTime, begin), kLastRunTimeFailure);
    return CalendarFrameInput{trigger, last, base, baseAtBeginTime, begin, baseTime};
}

}  // namespace

void RunCalendarFrame(CZynTaskTrigger& trigger, const CalendarRules& rules) {
    trigger.BeginRptCycleTime = 0;
    trigger.EndRptCycleTime = 0;
    if (EndDatePassed(trigger, trigger.LastRunTime)) {
        trigger.NextRunTime = 0;
        return;
    }
    const CalendarFrameInput in = InputOf(trigger);
    ScheduleTime first;
    DATE runTime = 0;
    const bool found = rules.firstRunDay(in, first) &&
                       rules.nextRunTime(in, rules.mustPassBaseDay(in, first), runTime);
    trigger.NextRunTime = found && !EndDatePassed(trigger, runTime) ? runTime : 0;
}

bool FindCalendarRunDays(const CZynTaskTrigger& trigger, const CalendarRules& rules,
                         CalendarRunDays& days) {
    const CalendarFrameInput in = InputOf(trigger);
    ScheduleTime first;
    if (!rules.firstRunDay(in, first)) {
        return false;
    }
    days.first = AtTimeOfDay(first, in.begin);
    ScheduleTime previous;
    days.hasPrevious = rules.previousRunDay(in, first, previous);
    days.previous = AtTimeOfDay(previous, in.begin);
    days.hasLater = rules.nextRunTime(in, true, days.later);
    return true;
}

HRESULT RunCalendarCalculator(CZynTaskTrigger& trigger, const CalendarRules* rules) {
    return GuardCalculator(kCalendarCalculatorNames, trigger, [&] {
        if (rules == nullptr) {
            trigger.NextRunTime = 0;
            return;
        }
        RunCalendarFrame(trigger, *rules);
    });
}
