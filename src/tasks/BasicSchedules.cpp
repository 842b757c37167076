#include "tasks/BasicSchedules.h"

#include <algorithm>
#include <cstdint>

#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr GuardNames kSingleCalculatorNames{L"CZynTaskImpl", L"CalcNextSingleRunTime"};

// Ceiling of a / b for b > 0.
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return a % b != 0 && a > 0 ? quotient + 1 : quotient;
}

// A DATE's day: its whole part (the fraction, whatever its sign, is the time of day). Only
// for dates that converted, so the whole part fits.
std::int64_t DayOf(DATE date) {
    return static_cast<std::int64_t>(date);
}

// Without repetition the daily and weekly runs move past base's day once the reference time
// has reached both the begin time on base's day and `firstRun`, the first run day's time their
// rules compare.
bool Reached(const CalendarFrameInput& in, DATE firstRun) {
    return CompareDates(in.lastRun, in.baseAtBeginTime) >= 0 &&
           CompareDates(in.lastRun, firstRun) >= 0;
}

// Daily: the run days are BeginDate's day plus whole multiples of DaysInterval.
struct DailyPosition {
    std::int64_t interval;
    std::int64_t beginDay;
    std::int64_t daysSinceBegin;  // from BeginDate's day to base's
};

DailyPosition DailyPositionOf(const CalendarFrameInput& in) {
    const std::int64_t beginDay = DayOf(in.trigger.BeginDate);
    return {in.trigger.DaysInterval, beginDay, DayOf(in.baseAtBeginTime) - beginDay};
}

// Base moved to the run day `runDay` (a day number, not before base's day); base's time of
// day is kept.
ScheduleTime DailyRunDayFromBase(const CalendarFrameInput& in, const DailyPosition& position,
                                 std::int64_t runDay) {
    const std::int64_t shift = runDay - position.beginDay - position.daysSinceBegin;
    return MoveDays(in.baseTime, std::max<std::int64_t>(0, shift));
}

std::int64_t DailyFirstRunDayNumber(const DailyPosition& position) {
    return position.beginDay +
           CeilDiv(position.daysSinceBegin, position.interval) * position.interval;
}

bool DailyFirstRunDay(const CalendarFrameInput& in, ScheduleTime& first) {
    const DailyPosition position = DailyPositionOf(in);
    first = DailyRunDayFromBase(in, position, DailyFirstRunDayNumber(position));
    return true;
}

bool DailyPreviousRunDay(const CalendarFrameInput& in, ScheduleTime /*first*/,
                         ScheduleTime& previous) {
    const DailyPosition position = DailyPositionOf(in);
    const std::int64_t shift = DailyFirstRunDayNumber(position) - position.interval -
                               position.beginDay - position.daysSinceBegin;
    previous = MoveDays(in.baseTime, shift);
    return true;
}

// The daily rule compares the first run day at base's time of day. On base's own day that is
// base itself, taken as it is: its calendar form is rounded to the second, and a reference time
// a fraction before that second (or, far in the future, a rounding step of the DATE away) would
// seem to lie before itself and get a run earlier than itself.
bool DailyMustPassBaseDay(const CalendarFrameInput& in, ScheduleTime first) {
    const bool baseDay = first.day == in.baseTime.day;
    return Reached(in, baseDay ? in.base : ToDate(first, kNextRunTimeFailure));
}

bool DailyNextRunTime(const CalendarFrameInput& in, bool pastBaseDay, DATE& runTime) {
    const DailyPosition position = DailyPositionOf(in);
    std::int64_t intervals = CeilDiv(position.daysSinceBegin, position.interval);
    if (pastBaseDay && position.daysSinceBegin % position.interval == 0) {
        ++intervals;
    }
    const ScheduleTime day =
        DailyRunDayFromBase(in, position, position.beginDay + intervals * position.interval);
    runTime = ToDate(AtTimeOfDay(day, in.begin), kNextRunTimeFailure);
    return true;
}

constexpr CalendarRules kDailyRules{DailyFirstRunDay, DailyPreviousRunDay, DailyMustPassBaseDay,
                                    DailyNextRunTime};

// Weekly: weeks run from Sunday; a week is active when its first selected weekday lies a
// whole number of WeeksInterval weeks after that of BeginDate's week.
int LowestWeekday(DWORD daysOfWeek) {
    return FindNextBit(1, 7, daysOfWeek) - 1;
}

std::int64_t WeeksIntervalDays(const CZynTaskTrigger& trigger) {
    return 7 * static_cast<std::int64_t>(trigger.WeeksInterval);
}

struct WeeklyStart {
    ScheduleTime time;
    DATE date;
};

// Base itself while it lies in BeginDate's week; otherwise the first selected weekday of the
// first active week from base's week on, at the begin time of day.
WeeklyStart WeeklyStartOf(const CalendarFrameInput& in) {
    // The first selected weekdays of both weeks lie as far apart as their Sundays. Counted in
    // whole days, so that rounding in DATE fractions cannot push an exact number of weeks into
    // the next interval.
    const int beginWeekday = WeekdayOf(in.begin);
    const std::int64_t beginSunday = in.begin.day - beginWeekday;
    const std::int64_t days = in.baseTime.day - WeekdayOf(in.baseTime) - beginSunday;
    if (days <= 6) {
        return {in.baseTime, in.base};
    }
    const std::int64_t intervalDays = WeeksIntervalDays(in.trigger);
    const int lowest = LowestWeekday(in.trigger.DaysOfWeek);
    const ScheduleTime start =
        MoveDays(in.begin, lowest - beginWeekday + CeilDiv(days, intervalDays) * intervalDays);
    return {start, ToDate(start, kNextRunTimeFailure)};
}

// The first selected weekday in the start's week from base's weekday on (after it when
// `pastBaseDay`), else the first selected weekday of the next active week.
ScheduleTime WeeklyRunDay(const CalendarFrameInput& in, bool pastBaseDay) {
    const WeeklyStart start = WeeklyStartOf(in);
    const int startWeekday = WeekdayOf(start.time);
    const int fromWeekday =
        (CompareDates(in.base, start.date) > 0 ? WeekdayOf(in.baseTime) : startWeekday) +
        (pastBaseDay ? 1 : 0);
    const int selected = FindNextBit(fromWeekday + 1, 7, in.trigger.DaysOfWeek);
    if (selected >= 1) {
        return MoveDays(start.time, selected - 1 - startWeekday);
    }
    return MoveDays(start.time, WeeksIntervalDays(in.trigger) - startWeekday +
                                    LowestWeekday(in.trigger.DaysOfWeek));
}

bool WeeklyFirstRunDay(const CalendarFrameInput& in, ScheduleTime& first) {
    first = WeeklyRunDay(in, false);
    return true;
}

// The highest selected weekday before the first run day's in its week, else the highest of
// the active week before.
bool WeeklyPreviousRunDay(const CalendarFrameInput& in, ScheduleTime first,
                          ScheduleTime& previous) {
    const DWORD mask = in.trigger.DaysOfWeek;
    const int weekday = WeekdayOf(first);
    const int earlier = FindPrevBit(1, weekday, mask);
    previous = earlier >= 1 ? MoveDays(first, earlier - 1 - weekday)
                            : MoveDays(first, -WeeksIntervalDays(in.trigger) +
                                                  FindPrevBit(1, 7, mask) - 1 - weekday);
    return true;
}

// The weekly rule compares the first run day at the begin time of day.
bool WeeklyMustPassBaseDay(const CalendarFrameInput& in, ScheduleTime first) {
    return Reached(in, ToDate(AtTimeOfDay(first, in.begin), kNextRunTimeFailure));
}

bool WeeklyNextRunTime(const CalendarFrameInput& in, bool pastBaseDay, DATE& runTime) {
    runTime = ToDate(AtTimeOfDay(WeeklyRunDay(in, pastBaseDay), in.begin), kNextRunTimeFailure);
    return true;
}

constexpr CalendarRules kWeeklyRules{WeeklyFirstRunDay, WeeklyPreviousRunDay, WeeklyMustPassBaseDay,
                                     WeeklyNextRunTime};

}  // namespace

HRESULT CalcNextSingleRunTime(CZynTaskTrigger& trigger) {
    return GuardCalculator(kSingleCalculatorNames, trigger, [&] {
        trigger.BeginRptCycleTime = 0;
        trigger.EndRptCycleTime = 0;
        // A missed single run is gone: nothing is made up once BeginDate passed.
        const bool passed = CompareDates(trigger.LastRunTime, trigger.BeginDate) >= 0;
        trigger.NextRunTime = passed ? 0 : trigger.BeginDate;
    });
}

const CalendarRules* DailyRules(const CZynTaskTrigger& trigger) {
    // Only 0 is replaced when a document is read; a negative DaysInterval describes no
    // schedule, so the trigger has no further run.
    return trigger.DaysInterval < 1 ? nullptr : &kDailyRules;
}

const CalendarRules* WeeklyRules(const CZynTaskTrigger& trigger) {
    // A negative WeeksInterval describes no schedule either: no further run.
    const bool schedule = (trigger.DaysOfWeek & kWeekdayBits) != 0 && trigger.WeeksInterval >= 1;
    return schedule ? &kWeeklyRules : nullptr;
}

HRESULT CalcNextDailyRunTime(CZynTaskTrigger& trigger) {
    return RunCalendarCalculator(trigger, DailyRules(trigger));
}

HRESULT CalcNextWeeklyRunTime(CZynTaskTrigger& trigger) {
    return RunCalendarCalculator(trigger, WeeklyRules(trigger));
}
