#include "tasks/ScheduleArithmetic.h"

#include <algorithm>

#include "platform/CalendarTime.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr std::int64_t kTicksPerHour = 60 * kTicksPerMinute;
constexpr std::int64_t kTicksPerDay = 24 * kTicksPerHour;
// Calendar units step whole days and leave the time of day alone; clock units step ticks.
constexpr std::int64_t kDaysPerUnit[] = {372, 31, 1};  // years, months, days
constexpr std::int64_t kTicksPerClockUnit[] = {kTicksPerHour, kTicksPerMinute, kTicksPerSecond};
// The calendar a SYSTEMTIME can hold. File times would stop at 1601; counting days of the
// civil calendar instead keeps every automation date (year 100 on) steppable.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 30827;
// Days from 1 January 1970 to 1 January of kFirstYear and of the year after kLastYear.
constexpr std::int64_t kFirstDay = -719'162;
constexpr std::int64_t kEndDay = 10'540'168;
constexpr int kDaysToMidMonth = 15;

bool TimeValid(const SYSTEMTIME& time) {
    return time.wYear >= kFirstYear && time.wYear <= kLastYear && time.wMonth >= 1 &&
           time.wMonth <= 12 && time.wDay >= 1 &&
           time.wDay <= DaysInMonth(time.wMonth, time.wYear) && time.wHour < 24 &&
           time.wMinute < 60 && time.wSecond < 60 && time.wMilliseconds < 1000;
}

std::int64_t TickOfDay(const SYSTEMTIME& time) {
    const std::int64_t seconds = time.wHour * 3600 + time.wMinute * 60 + time.wSecond;
    return seconds * kTicksPerSecond + time.wMilliseconds * 10'000;
}

// Moves `day` and `tickOfDay` by n clock units; false on overflow.
bool StepClock(std::int64_t n, int unit, std::int64_t& day, std::int64_t& tickOfDay) {
    std::int64_t ticks = 0;
    if (__builtin_mul_overflow(n, kTicksPerClockUnit[unit - kUnitHours], &ticks) ||
        __builtin_add_overflow(ticks, tickOfDay, &ticks)) {
        return false;
    }
    std::int64_t days = ticks / kTicksPerDay;
    tickOfDay = ticks % kTicksPerDay;
    if (tickOfDay < 0) {
        tickOfDay += kTicksPerDay;
        --days;
    }
    return !__builtin_add_overflow(day, days, &day);
}

SYSTEMTIME TimeOf(std::int64_t days, std::int64_t tickOfDay) {
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    const std::int64_t secondOfDay = tickOfDay / kTicksPerSecond;
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1 January 1970: Thursday
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(secondOfDay / 3600);
    time.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    time.wSecond = static_cast<WORD>(secondOfDay % 60);
    time.wMilliseconds = static_cast<WORD>(tickOfDay % kTicksPerSecond / 10'000);
    return time;
}

}  // namespace

BOOL AddToSystemTime(const SYSTEMTIME& time, std::int64_t n, int unit, SYSTEMTIME& out) {
    if (!TimeValid(time) || unit < kUnitYears || unit > kUnitSeconds) {
        return FALSE;
    }
    std::int64_t day = DaysFromCivil(time.wYear, time.wMonth, time.wDay);
    std::int64_t tickOfDay = TickOfDay(time);
    std::int64_t days = 0;
    if (unit <= kUnitDays) {
        if (unit != kUnitDays) {
            day += kDaysToMidMonth - time.wDay;
        }
        if (__builtin_mul_overflow(n, kDaysPerUnit[unit], &days) ||
            __builtin_add_overflow(day, days, &day)) {
            return FALSE;
        }
    } else if (!StepClock(n, unit, day, tickOfDay)) {
        return FALSE;
    }
    if (day < kFirstDay || day >= kEndDay) {
        return FALSE;
    }
    out = TimeOf(day, tickOfDay);
    return TRUE;
}

bool IsLeapYear(int year) {
    if (year % 4 != 0) {
        return false;
    }
    return year % 100 != 0 || year % 400 == 0;
}

int DaysInMonth(int month, int year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int FindNextBit(int from, int to, DWORD mask) {
    if (from < 1 || from > to) {
        return -1;
    }
    for (int n = from; n <= std::min(to, 32); ++n) {
        if ((mask >> (n - 1)) & 1u) {
            return n;
        }
    }
    return -1;
}

int FindPrevBit(int from, int to, DWORD mask) {
    if (from < 1 || to < from) {
        return -1;
    }
    for (int n = std::min(to, 32); n >= from; --n) {
        if ((mask >> (n - 1)) & 1u) {
            return n;
        }
    }
    return -1;
}
