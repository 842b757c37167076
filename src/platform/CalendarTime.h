// Calendar arithmetic on SYSTEMTIME, FILETIME and automation DATE values, done exactly as the
// automation platform defines it and without allocation (the schedule arithmetic runs these in
// its inner loops). All routines are pure and thread-safe.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Runtime.h"

#ifndef _WIN32
// Windows has these two itself.
// Checks the fields (years 1601 to 30827, a real day of the month, time fields in range) and
// converts; FALSE leaves the output untouched. The day of week is not read.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// Fills every field, the day of week included; FALSE for values beyond 0x7FFFFFFFFFFFFFFF.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
#endif

std::uint64_t FileTimeToTicks(const FILETIME& fileTime);
FILETIME TicksToFileTime(std::uint64_t ticks);

// Days from 1 January 1970 to the given proleptic Gregorian date, and back. Inline, because
// the schedule arithmetic runs them for every month it searches. The era-based conversions
// count in 400-year cycles, which repeat exactly.
constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

constexpr void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month,
                             unsigned& day) {
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146'097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

// Automation dates as day numbers ("date days", 0 = 30 December 1899) and seconds of the day:
// the form VariantTimeToSystemTime and SystemTimeToVariantTime work in, for callers that need
// no calendar fields. The automation calendar runs from 1 January 100 to 31 December 9999.
inline constexpr std::int64_t kFirstDateDay = -657'434;  // 1 January 100
inline constexpr std::int64_t kEndDateDay = 2'958'466;   // 1 January 10000
inline constexpr std::int64_t kDateDayOf1970 = 25'569;   // 1 January 1970
inline constexpr std::int64_t kSecondsPerDateDay = 86'400;

// A DATE's whole part counts days from the epoch and its fraction, taken without its sign,
// is the time of day, rounded to the nearest second (halves away from zero): -1.25 is
// 29 December 1899 at 06:00. A time that rounds to midnight belongs to the next day. False,
// with the outputs untouched, outside the automation calendar (and for NaN). Below zero the
// fraction counts forward, so the first day runs from its whole number down to just above the
// number one lower.
inline bool SplitDate(DATE date, std::int64_t& dateDay, std::int64_t& secondOfDay) {
    if (!(date > static_cast<double>(kFirstDateDay) - 1.0 &&
          date < static_cast<double>(kEndDateDay))) {
        return false;
    }
    // The range makes both conversions exact, and the fraction's subtraction too.
    std::int64_t day = static_cast<std::int64_t>(date);
    const double fraction = date - static_cast<double>(day);
    const double seconds = (fraction < 0 ? -fraction : fraction) * kSecondsPerDateDay;
    auto second = static_cast<std::int64_t>(seconds);
    if (seconds - static_cast<double>(second) >= 0.5) {
        ++second;
    }
    if (second >= kSecondsPerDateDay) {
        second -= kSecondsPerDateDay;
        ++day;
    }
    if (day >= kEndDateDay) {
        return false;
    }
    dateDay = day;
    secondOfDay = second;
    return true;
}

// The DATE of a date day (in the automation calendar) at a second of the day: the time of day
// counts forward from the day's start even below zero.
inline DATE JoinDate(std::int64_t dateDay, std::int64_t secondOfDay) {
    const double timeOfDay =
        static_cast<double>(secondOfDay) / static_cast<double>(kSecondsPerDateDay);
    const auto wholeDays = static_cast<double>(dateDay);
    return dateDay >= 0 ? wholeDays + timeOfDay : wholeDays - timeOfDay;
}

// 0 = Sunday; 30 December 1899 was a Saturday.
constexpr int DayOfWeekOfDateDay(std::int64_t dateDay) {
    return static_cast<int>(((dateDay % 7) + 7 + 6) % 7);
}

bool IsGregorianLeapYear(std::int64_t year);
unsigned DaysInGregorianMonth(std::int64_t year, unsigned month);
