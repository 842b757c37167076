#include "tasks/MonthlySearch.h"

#include "tasks/ScheduleArithmetic.h"
#include "tasks/ScheduleSteps.h"

namespace {

constexpr int kSearchYears = 10;

// A day picker answers the selected day of `month`'s month nearest to `limit` (from `limit`
// upwards for the next run, from `limit` downwards for the previous one), or -1.
using DayPicker = int (*)(const CZynTaskTrigger& trigger, const SYSTEMTIME& month, int limit);

bool MonthSelected(const CZynTaskTrigger& trigger, int month) {
    return month >= 1 && month <= 12 && ((trigger.MonthsOfYear >> (month - 1)) & 1u) != 0;
}

int MonthLength(const SYSTEMTIME& time) {
    return DaysInMonth(time.wMonth, time.wYear);
}

int FirstSelectedDay(const CZynTaskTrigger& trigger, const SYSTEMTIME& month, int from) {
    return FindNextBit(from, MonthLength(month), trigger.DaysOfMonth);
}

int LastSelectedDay(const CZynTaskTrigger& trigger, const SYSTEMTIME& /*month*/, int through) {
    return FindPrevBit(1, through, trigger.DaysOfMonth);
}

// The Week-th seven days of the month as (lo, hi]: week 5 is the last seven days.
struct WeekRange {
    int lo;
    int hi;
};

WeekRange WeekRangeOf(const CZynTaskTrigger& trigger, const SYSTEMTIME& month) {
    if (trigger.Week == 5) {
        const int length = MonthLength(month);
        return {length - 7, length};
    }
    return {7 * trigger.Week - 7, 7 * trigger.Week};
}

// The weekday (0 = Sunday) of day `day` of `month`'s month.
int WeekdayOf(const SYSTEMTIME& month, int day) {
    return (month.wDayOfWeek + (day - month.wDay) % 7 + 7) % 7;
}

bool WeekdaySelected(const CZynTaskTrigger& trigger, int weekday) {
    return ((trigger.DaysOfWeek >> weekday) & 1u) != 0;
}

int FirstSelectedWeekday(const CZynTaskTrigger& trigger, const SYSTEMTIME& month, int from) {
    const WeekRange range = WeekRangeOf(trigger, month);
    int day = from <= range.lo ? range.lo + 1 : from;
    for (int weekday = WeekdayOf(month, day); day <= range.hi; ++day, weekday = (weekday + 1) % 7) {
        if (WeekdaySelected(trigger, weekday)) {
            return day;
        }
    }
    return -1;
}

int LastSelectedWeekday(const CZynTaskTrigger& trigger, const SYSTEMTIME& month, int through) {
    const WeekRange range = WeekRangeOf(trigger, month);
    int day = through > range.hi ? range.hi : through;
    for (int weekday = WeekdayOf(month, day); day > range.lo; --day, weekday = (weekday + 6) % 7) {
        if (WeekdaySelected(trigger, weekday)) {
            return day;
        }
    }
    return -1;
}

// Through the selected months after start's, then from the first selected month of each next
// year; `position` ends in the month of the day found.
int SearchForward(const CZynTaskTrigger& trigger, SYSTEMTIME& position, int fromDay,
                  DayPicker pick) {
    const DWORD months = trigger.MonthsOfYear;
    const int firstMonth = FindNextBit(1, 12, months);
    if (firstMonth < 1) {
        return -1;
    }
    int day = MonthSelected(trigger, position.wMonth) ? pick(trigger, position, fromDay) : -1;
    for (int year = 0; day < 1 && year < kSearchYears; ++year) {
        for (int month = FindNextBit(position.wMonth + 1, 12, months); day < 1 && month >= 1;
             month = FindNextBit(month + 1, 12, months)) {
            position = MoveMonths(position, month - position.wMonth);
            day = pick(trigger, position, 1);
        }
        if (day >= 1) {
            break;
        }
        int step = firstMonth - position.wMonth;
        position = MoveMonths(position, step < 1 ? step + 12 : step);
        day = pick(trigger, position, 1);
    }
    return day;
}

// Through the selected months before start's, then from the last selected month of each
// previous year.
int SearchBackward(const CZynTaskTrigger& trigger, SYSTEMTIME& position, DayPicker pick) {
    const DWORD months = trigger.MonthsOfYear;
    if (FindPrevBit(1, 12, months) < 1) {
        return -1;
    }
    int day =
        MonthSelected(trigger, position.wMonth) ? pick(trigger, position, position.wDay - 1) : -1;
    for (int year = 0; day < 1 && year < kSearchYears; ++year) {
        for (int month = FindPrevBit(1, position.wMonth - 1, months); day < 1 && month >= 1;
             month = FindPrevBit(1, month - 1, months)) {
            position = MoveMonths(position, month - position.wMonth, kPrevRunTimeFailure);
            day = pick(trigger, position, MonthLength(position));
        }
        if (day >= 1) {
            break;
        }
        const int current = position.wMonth;
        int month = FindPrevBit(1, current - 1 < 1 ? current + 11 : current - 1, months);
        if (month < 0) {
            month = FindPrevBit(1, 12, months);
        }
        position = MoveMonths(position, month - current - 12, kPrevRunTimeFailure);
        day = pick(trigger, position, MonthLength(position));
    }
    return day;
}

// The day found, at the begin time of day.
bool Found(int dayOfMonth, const SYSTEMTIME& position, const SYSTEMTIME& begin, SYSTEMTIME& day) {
    if (dayOfMonth < 1) {
        return false;
    }
    day = AtTimeOfDay(WithDayOfMonth(position, dayOfMonth), begin);
    return true;
}

bool Converted(bool found, const SYSTEMTIME& day, const wchar_t* failure, DATE& date) {
    if (found) {
        date = ToDate(day, failure);
    }
    return found;
}

bool WeekdaySearchPossible(const CZynTaskTrigger& trigger) {
    return trigger.Week >= 1 && trigger.Week <= 5 && (trigger.DaysOfWeek & kWeekdayBits) != 0;
}

}  // namespace

bool NextMonthlyDay(const CZynTaskTrigger& trigger, const SYSTEMTIME& begin,
                    const SYSTEMTIME& start, bool pastStartDay, SYSTEMTIME& day) {
    SYSTEMTIME position = start;
    const int found =
        SearchForward(trigger, position, start.wDay + (pastStartDay ? 1 : 0), FirstSelectedDay);
    return Found(found, position, begin, day);
}

bool PrevMonthlyDay(const CZynTaskTrigger& trigger, const SYSTEMTIME& begin,
                    const SYSTEMTIME& start, SYSTEMTIME& day) {
    SYSTEMTIME position = start;
    return Found(SearchBackward(trigger, position, LastSelectedDay), position, begin, day);
}

bool NextMonthlyDow(const CZynTaskTrigger& trigger, const SYSTEMTIME& begin,
                    const SYSTEMTIME& start, bool pastStartDay, SYSTEMTIME& day) {
    if (!WeekdaySearchPossible(trigger)) {
        return false;
    }
    SYSTEMTIME position = start;
    const int found =
        SearchForward(trigger, position, start.wDay + (pastStartDay ? 1 : 0), FirstSelectedWeekday);
    return Found(found, position, begin, day);
}

bool PrevMonthlyDow(const CZynTaskTrigger& trigger, const SYSTEMTIME& begin,
                    const SYSTEMTIME& start, SYSTEMTIME& day) {
    if (!WeekdaySearchPossible(trigger)) {
        return false;
    }
    SYSTEMTIME position = start;
    return Found(SearchBackward(trigger, position, LastSelectedWeekday), position, begin, day);
}

bool NextMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date) {
    const SYSTEMTIME begin = ToSystemTime(trigger.BeginDate, kStartTimeFailure);
    return Converted(NextMonthlyDay(trigger, begin, start, pastStartDay, day), day,
                     kNextRunTimeFailure, date);
}

bool PrevMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date) {
    const SYSTEMTIME begin = ToSystemTime(trigger.BeginDate, kStartTimeFailure);
    return Converted(PrevMonthlyDay(trigger, begin, start, day), day, kPrevRunTimeFailure, date);
}

bool NextMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date) {
    const SYSTEMTIME begin = ToSystemTime(trigger.BeginDate, kStartTimeFailure);
    return Converted(NextMonthlyDow(trigger, begin, start, pastStartDay, day), day,
                     kNextRunTimeFailure, date);
}

bool PrevMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date) {
    const SYSTEMTIME begin = ToSystemTime(trigger.BeginDate, kStartTimeFailure);
    return Converted(PrevMonthlyDow(trigger, begin, start, day), day, kNextRunTimeFailure, date);
}
