// The conversions and calendar steps the next-run calculators are built from. Each checked
// conversion raises E_FAIL (CEThrowError) with the message that names the value that could not
// be converted, so the calculator's guard reports which one left the calendar; a step beyond
// the calendar raises the message of the value being computed.
//
// Pure functions; thread-safe. Nothing allocates unless it raises.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Types.h"

inline constexpr wchar_t kStartTimeFailure[] =
    L"Failed to convert start time variant time to system time.";
inline constexpr wchar_t kLastRunTimeFailure[] =
    L"Failed to convert last run time variant time to system time.";
inline constexpr wchar_t kNextRunTimeFailure[] =
    L"Failed to convert next run time system time to variant time.";
inline constexpr wchar_t kPrevRunTimeFailure[] =
    L"Failed to convert prev run time system time to variant time.";

// A DATE as calendar time; raises `failure` when it is no date of the calendar.
SYSTEMTIME ToSystemTime(DATE date, const wchar_t* failure);
// A calendar time as DATE (milliseconds dropped); raises `failure` outside the years 100 to 9999.
DATE ToDate(const SYSTEMTIME& time, const wchar_t* failure);

// `day`'s date at `time`'s time of day (hour, minute, second and milliseconds).
SYSTEMTIME AtTimeOfDay(const SYSTEMTIME& day, const SYSTEMTIME& time);
// Day `day` of `time`'s month, time of day kept; `day` must exist in that month.
SYSTEMTIME WithDayOfMonth(const SYSTEMTIME& time, int day);
// Days since 1 January 1970 of `time`'s date.
std::int64_t DayNumber(const SYSTEMTIME& time);

// AddToSystemTime; raises `failure` when the step leaves the calendar.
SYSTEMTIME MoveBy(const SYSTEMTIME& time, std::int64_t n, int unit, const wchar_t* failure);
SYSTEMTIME MoveDays(const SYSTEMTIME& time, std::int64_t days,
                    const wchar_t* failure = kNextRunTimeFailure);
SYSTEMTIME MoveMonths(const SYSTEMTIME& time, int months,
                      const wchar_t* failure = kNextRunTimeFailure);
