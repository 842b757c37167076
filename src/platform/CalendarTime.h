// Calendar arithmetic on SYSTEMTIME, FILETIME and automation DATE values, done exactly as the
// automation platform defines it and without allocation (the schedule arithmetic runs these in
// its inner loops). All routines are pure and thread-safe.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Runtime.h"

// Checks the fields (years 1601 to 30827, a real day of the month, time fields in range) and
// converts; FALSE leaves the output untouched. The day of week is not read.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// Fills every field, the day of week included; FALSE for values beyond 0x7FFFFFFFFFFFFFFF.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

std::uint64_t FileTimeToTicks(const FILETIME& fileTime);
FILETIME TicksToFileTime(std::uint64_t ticks);

// Days from 1 January 1970 to the given proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day);

bool IsGregorianLeapYear(std::int64_t year);
unsigned DaysInGregorianMonth(std::int64_t year, unsigned month);
