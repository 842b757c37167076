#include "tasks/MonthlySchedule.h"

#include "tasks/MonthlySearch.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr DWORD kFebruary = 0x002;
constexpr DWORD kThirtyOneDayMonths = 0xAD5;

// Without repetition the monthly runs move past base's day once the reference time has
// reached the begin time on it.
bool ReachedBeginTime(const CalendarFrameInput& in, ScheduleTime /*first*/) {
    return CompareDates(in.lastRun, in.baseAtBeginTime) >= 0;
}

bool MonthlyDayFirst(const CalendarFrameInput& in, ScheduleTime& first) {
    return NextMonthlyDay(in.trigger, in.begin, in.baseTime, false, first);
}

bool MonthlyDayPrevious(const CalendarFrameInput& in, ScheduleTime first, ScheduleTime& previous) {
    return PrevMonthlyDay(in.trigger, in.begin, first, previous);
}

bool MonthlyDayNext(const CalendarFrameInput& in, bool pastBaseDay, DATE& runTime) {
    ScheduleTime day;
    const bool found = NextMonthlyDay(in.trigger, in.begin, in.baseTime, pastBaseDay, day);
    runTime = found ? ToDate(day, kNextRunTimeFailure) : 0;
    return found;
}

constexpr CalendarRules kMonthlyDayRules{MonthlyDayFirst, MonthlyDayPrevious, ReachedBeginTime,
                                         MonthlyDayNext};

bool MonthlyDowFirst(const CalendarFrameInput& in, ScheduleTime& first) {
    return NextMonthlyDow(in.trigger, in.begin, in.baseTime, false, first);
}

bool MonthlyDowPrevious(const CalendarFrameInput& in, ScheduleTime first, ScheduleTime& previous) {
    return PrevMonthlyDow(in.trigger, in.begin, first, previous);
}

bool MonthlyDowNext(const CalendarFrameInput& in, bool pastBaseDay, DATE& runTime) {
    ScheduleTime day;
    const bool found = NextMonthlyDow(in.trigger, in.begin, in.baseTime, pastBaseDay, day);
    runTime = found ? ToDate(day, kNextRunTimeFailure) : 0;
    return found;
}

constexpr CalendarRules kMonthlyDowRules{MonthlyDowFirst, MonthlyDowPrevious, ReachedBeginTime,
                                         MonthlyDowNext};

// Whether some selected day exists in some selected month, which keeps the searches finite:
// February alone has no 30th, and a 31st needs a month that has one.
bool SomeSelectedDayExists(const CZynTaskTrigger& trigger) {
    const int lowestDay = FindNextBit(1, 31, trigger.DaysOfMonth);
    if ((trigger.MonthsOfYear & kAllMonths) == kFebruary) {
        return lowestDay < 30;
    }
    return (trigger.MonthsOfYear & kThirtyOneDayMonths) != 0 || lowestDay <= 30;
}

}  // namespace

const CalendarRules* MonthlyDayRules(const CZynTaskTrigger& trigger) {
    const bool schedule = (trigger.MonthsOfYear & kAllMonths) != 0 &&
                          (trigger.DaysOfMonth & kDayOfMonthBits) != 0 &&
                          SomeSelectedDayExists(trigger);
    return schedule ? &kMonthlyDayRules : nullptr;
}

const CalendarRules* MonthlyDowRules(const CZynTaskTrigger& trigger) {
    // A Week below 1 never comes out of a task document; like one above 5 it has no range.
    const bool schedule = (trigger.MonthsOfYear & kAllMonths) != 0 &&
                          (trigger.DaysOfWeek & kWeekdayBits) != 0 && trigger.Week >= 1 &&
                          trigger.Week <= 5;
    return schedule ? &kMonthlyDowRules : nullptr;
}

HRESULT CalcNextMonthlyRunTime(CZynTaskTrigger& trigger) {
    return RunCalendarCalculator(trigger, MonthlyDayRules(trigger));
}

HRESULT CalcNextMonthlyDowRunTime(CZynTaskTrigger& trigger) {
    return RunCalendarCalculator(trigger, MonthlyDowRules(trigger));
}
