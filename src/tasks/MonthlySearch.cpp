#include "tasks/MonthlySearch.h"

#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr int kSearchYears = 10;
// Months are stepped within the calendar StepDays steps in.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 30827;

// A month the search visits, with the weekday of its first day (0 = Sunday).
struct Month {
    int year;
    int month;
    int firstWeekday;
};

Month MonthOf(int year, int month) {
    const std::int64_t first = DaysFromCivil(year, static_cast<unsigned>(month), 1);
    return {year, month, DayOfWeekOfDateDay(first + kDateDayOf1970)};
}

// The month `months` away from `from`; raises `failure` outside the calendar.
Month MoveMonths(const Month& from, int months, const wchar_t* failure) {
    const int index = from.year * 12 + from.month - 1 + months;
    const int year = index / 12;
    if (index < 0 || year < kFirstYear || year > kLastYear) {
        RaiseConversionFailure(failure);
    }
    return MonthOf(year, index % 12 + 1);
}

// A day picker answers the selected day of `month` nearest to `limit` (from `limit` upwards
// for the next run, from `limit` downwards for the previous one), or -1.
using DayPicker = int (*)(const CZynTaskTrigger& trigger, const Month& month, int limit);

bool MonthSelected(const CZynTaskTrigger& trigger, int month) {
    return month >= 1 && month <= 12 && ((trigger.MonthsOfYear >> (month - 1)) & 1u) != 0;
}

int MonthLength(const Month& month) {
    return DaysInMonth(month.month, month.year);
}

int FirstSelectedDay(const CZynTaskTrigger& trigger, const Month& month, int from) {
    return FindNextBit(from, MonthLength(month), trigger.DaysOfMonth);
}

int LastSelectedDay(const CZynTaskTrigger& trigger, const Month& /*month*/, int through) {
    return FindPrevBit(1, through, trigger.DaysOfMonth);
}

// The Week-th seven days of the month as (lo, hi]: week 5 is the last seven days.
struct WeekRange {
    int lo;
    int hi;
};

WeekRange WeekRangeOf(const CZynTaskTrigger& trigger, const Month& month) {
    if (trigger.Week == 5) {
        const int length = MonthLength(month);
        return {length - 7, length};
    }
    return {7 * trigger.Week - 7, 7 * trigger.Week};
}

// The weekday (0 = Sunday) of day `day` of `month`.
int WeekdayOf(const Month& month, int day) {
    return ((month.firstWeekday + day - 1) % 7 + 7) % 7;
}

bool WeekdaySelected(const CZynTaskTrigger& trigger, int weekday) {
    return ((trigger.DaysOfWeek >> weekday) & 1u) != 0;
}

int FirstSelectedWeekday(const CZynTaskTrigger& trigger, const Month& month, int from) {
    const WeekRange range = WeekRangeOf(trigger, month);
    int day = from <= range.lo ? range.lo + 1 : from;
    for (int weekday = WeekdayOf(month, day); day <= range.hi; ++day, weekday = (weekday + 1) % 7) {
        if (WeekdaySelected(trigger, weekday)) {
            return day;
        }
    }
    return -1;
}

int LastSelectedWeekday(const CZynTaskTrigger& trigger, const Month& month, int through) {
    const WeekRange range = WeekRangeOf(trigger, month);
    int day = through > range.hi ? range.hi : through;
    for (int weekday = WeekdayOf(month, day); day > range.lo; --day, weekday = (weekday + 6) % 7) {
        if (WeekdaySelected(trigger, weekday)) {
            return day;
        }
    }
    return -1;
}

// Where a search starts: the month of `start`'s date, and the day of that month.
struct SearchStart {
    Month month;
    int day;
};

SearchStart SearchStartOf(ScheduleTime start) {
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(start.day - kDateDayOf1970, year, month, day);
    const int firstWeekday = DayOfWeekOfDateDay(start.day - (day - 1));
    return {{static_cast<int>(year), static_cast<int>(month), firstWeekday}, static_cast<int>(day)};
}

// Through the selected months after the start's, then from the first selected month of each
// next year; `position` ends in the month of the day found.
int SearchForward(const CZynTaskTrigger& trigger, Month& position, int fromDay, DayPicker pick) {
    const DWORD months = trigger.MonthsOfYear;
    const int firstMonth = FindNextBit(1, 12, months);
    if (firstMonth < 1) {
        return -1;
    }
    int day = MonthSelected(trigger, position.month) ? pick(trigger, position, fromDay) : -1;
    for (int year = 0; day < 1 && year < kSearchYears; ++year) {
        for (int month = FindNextBit(position.month + 1, 12, months); day < 1 && month >= 1;
             month = FindNextBit(month + 1, 12, months)) {
            position = MoveMonths(position, month - position.month, kNextRunTimeFailure);
            day = pick(trigger, position, 1);
        }
        if (day >= 1) {
            break;
        }
        const int step = firstMonth - position.month;
        position = MoveMonths(position, step < 1 ? step + 12 : step, kNextRunTimeFailure);
        day = pick(trigger, position, 1);
    }
    return day;
}

// Through the selected months before the start's, then from the last selected month of each
// previous year.
int SearchBackward(const CZynTaskTrigger& trigger, Month& position, int throughDay,
                   DayPicker pick) {
    const DWORD months = trigger.MonthsOfYear;
    if (FindPrevBit(1, 12, months) < 1) {
        return -1;
    }
    int day = MonthSelected(trigger, position.month) ? pick(trigger, position, throughDay) : -1;
    for (int year = 0; day < 1 && year < kSearchYears; ++year) {
        for (int month = FindPrevBit(1, position.month - 1, months); day < 1 && month >= 1;
             month = FindPrevBit(1, month - 1, months)) {
            position = MoveMonths(position, month - position.month, kPrevRunTimeFailure);
            day = pick(trigger, position, MonthLength(position));
        }
        if (day >= 1) {
            break;
        }
        const int current = position.month;
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
bool Found(int dayOfMonth, const Month& position, ScheduleTime begin, ScheduleTime& day) {
    if (dayOfMonth < 1) {
        return false;
    }
    const std::int64_t found = DaysFromCivil(position.year, static_cast<unsigned>(position.month),
                                             static_cast<unsigned>(dayOfMonth)) +
                               kDateDayOf1970;
    day = AtTimeOfDay({found, 0}, begin);
    return true;
}

bool WeekdaySearchPossible(const CZynTaskTrigger& trigger) {
    return trigger.Week >= 1 && trigger.Week <= 5 && (trigger.DaysOfWeek & kWeekdayBits) != 0;
}

bool SearchNext(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                bool pastStartDay, DayPicker pick, ScheduleTime& day) {
    SearchStart from = SearchStartOf(start);
    const int found = SearchForward(trigger, from.month, from.day + (pastStartDay ? 1 : 0), pick);
    return Found(found, from.month, begin, day);
}

bool SearchPrevious(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    DayPicker pick, ScheduleTime& day) {
    SearchStart from = SearchStartOf(start);
    return Found(SearchBackward(trigger, from.month, from.day - 1, pick), from.month, begin, day);
}

// The calendar-time form of the searches: the start as calendar fields, the day found both as
// calendar fields and as DATE (converted with `failure`).
template <class Search>
bool SearchRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, const wchar_t* failure,
               SYSTEMTIME& day, DATE& date, Search&& search) {
    const ScheduleTime begin = ToScheduleTime(trigger.BeginDate, kStartTimeFailure);
    const ScheduleTime from{DaysFromCivil(start.wYear, start.wMonth, start.wDay) + kDateDayOf1970,
                            start.wHour * 3600 + start.wMinute * 60 + start.wSecond};
    ScheduleTime found;
    if (!search(begin, from, found)) {
        return false;
    }
    date = ToDate(found, failure);
    VariantTimeToSystemTime(date, &day);
    return true;
}

}  // namespace

bool NextMonthlyDay(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    bool pastStartDay, ScheduleTime& day) {
    return SearchNext(trigger, begin, start, pastStartDay, FirstSelectedDay, day);
}

bool PrevMonthlyDay(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    ScheduleTime& day) {
    return SearchPrevious(trigger, begin, start, LastSelectedDay, day);
}

bool NextMonthlyDow(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    bool pastStartDay, ScheduleTime& day) {
    return WeekdaySearchPossible(trigger) &&
           SearchNext(trigger, begin, start, pastStartDay, FirstSelectedWeekday, day);
}

bool PrevMonthlyDow(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    ScheduleTime& day) {
    return WeekdaySearchPossible(trigger) &&
           SearchPrevious(trigger, begin, start, LastSelectedWeekday, day);
}

bool NextMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date) {
    return SearchRun(trigger, start, kNextRunTimeFailure, day, date,
                     [&](ScheduleTime begin, ScheduleTime from, ScheduleTime& found) {
                         return NextMonthlyDay(trigger, begin, from, pastStartDay, found);
                     });
}

bool PrevMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date) {
    return SearchRun(trigger, start, kPrevRunTimeFailure, day, date,
                     [&](ScheduleTime begin, ScheduleTime from, ScheduleTime& found) {
                         return PrevMonthlyDay(trigger, begin, from, found);
                     });
}

bool NextMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date) {
    return SearchRun(trigger, start, kNextRunTimeFailure, day, date,
                     [&](ScheduleTime begin, ScheduleTime from, ScheduleTime& found) {
                         return NextMonthlyDow(trigger, begin, from, pastStartDay, found);
                     });
}

bool PrevMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date) {
    return SearchRun(trigger, start, kNextRunTimeFailure, day, date,
                     [&](ScheduleTime begin, ScheduleTime from, ScheduleTime& found) {
                         return PrevMonthlyDow(trigger, begin, from, found);
                     });
}
