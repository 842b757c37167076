// The calendar primitives of the schedule computation: comparing automation dates with the
// schedule's tolerance, stepping a date day and a second of the day by days, hours, minutes or
// seconds, month lengths, and searching bit masks of days and months.
//
// Pure functions without allocation; thread-safe. Nothing throws: a step that would leave the
// calendar answers false.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/CalendarTime.h"

// Two dates closer than one microsecond (0.001 of the 86 400 000 milliseconds of a day) are
// the same moment: DATE arithmetic leaves errors of that order.
inline constexpr double kDateTolerance = 0.001 / 86'400'000.0;

// -1 when a is earlier than b, 1 when later, 0 when equal within the tolerance (a NaN
// difference counts as equal, so it never wins a comparison).
constexpr int CompareDates(DATE a, DATE b) {
    const double difference = a - b;
    if (difference < -kDateTolerance) {
        return -1;
    }
    return difference > kDateTolerance ? 1 : 0;
}

enum TimeUnit : int {
    kUnitHours = 0,
    kUnitMinutes = 1,
    kUnitSeconds = 2,
};

// The calendar the schedule steps in, the years 1 to 30827, as date days (DATE's day numbers,
// 0 = 30 December 1899): wider than the automation calendar, so that every automation date
// stays steppable.
inline constexpr std::int64_t kFirstStepDay = -693'593;  // 1 January 1
inline constexpr std::int64_t kEndStepDay = 10'565'737;  // 1 January 30828

// `dateDay` moved by n days: false, with `dateDay` untouched, on overflow or when the result
// leaves that calendar.
constexpr bool StepDays(std::int64_t& dateDay, std::int64_t n) {
    std::int64_t day = 0;
    if (__builtin_add_overflow(dateDay, n, &day) || day < kFirstStepDay || day >= kEndStepDay) {
        return false;
    }
    dateDay = day;
    return true;
}

// A date day and a second of the day moved by n clock units (kUnitHours to kUnitSeconds):
// false, with both untouched, on overflow or when the result leaves that calendar.
bool StepClock(std::int64_t& dateDay, std::int64_t& secondOfDay, std::int64_t n, int unit);

bool IsLeapYear(int year);
// 28 to 31; 0 for a month outside 1 to 12.
int DaysInMonth(int month, int year);

// The lowest n with from <= n <= to whose bit n - 1 is set in `mask`; -1 when there is none,
// or when from < 1 or from > to. Bits above 31 do not exist: `to` counts as at most 32.
int FindNextBit(int from, int to, DWORD mask);
// The highest such n, searched downwards from `to`; -1 when there is none, or when from < 1
// or to < from.
int FindPrevBit(int from, int to, DWORD mask);
