#include "tasks/ScheduleArithmetic.h"

#include <algorithm>
#include <bit>

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

// Moves `day` and `tickOfDay` by n clock units; false on overflow or when the day leaves the
// calendar, with both untouched.
bool StepTicks(std::int64_t n, int unit, std::int64_t& day, std::int64_t& tickOfDay) {
    std::int64_t ticks = 0;
    if (__builtin_mul_overflow(n, kTicksPerClockUnit[unit - kUnitHours], &ticks) ||
        __builtin_add_overflow(ticks, tickOfDay, &ticks)) {
        return false;
    }
    std::int64_t days = ticks / kTicksPerDay;
    std::int64_t tick = ticks % kTicksPerDay;
    if (tick < 0) {
        tick += kTicksPerDay;
        --days;
    }
    if (!StepDays(day, days)) {
        return false;
    }
    tickOfDay = tick;
    return true;
}

// Moves `day` by n calendar units; a month or year step starts from the middle of the month.
bool StepCalendar(std::int64_t n, int unit, int dayOfMonth, std::int64_t& day) {
    std::int64_t days = 0;
    const std::int64_t fromMidMonth = unit == kUnitDays ? 0 : kDaysToMidMonth - dayOfMonth;
    return !__builtin_mul_overflow(n, kDaysPerUnit[unit], &days) &&
           !__builtin_add_overflow(days, fromMidMonth, &days) && StepDays(day, days);
}

// The mask of bits 0 to n - 1, for n from 0 to 32.
constexpr std::uint64_t LowBits(int n) {
    return (std::uint64_t{1} << n) - 1;
}

SYSTEMTIME TimeOf(std::int64_t dateDay, std::int64_t tickOfDay) {
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(dateDay - kDateDayOf1970, year, month, day);
    const std::int64_t secondOfDay = tickOfDay / kTicksPerSecond;
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDayOfWeek = static_cast<WORD>(DayOfWeekOfDateDay(dateDay));
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
    std::int64_t day = DaysFromCivil(time.wYear, time.wMonth, time.wDay) + kDateDayOf1970;
    std::int64_t tickOfDay = TickOfDay(time);
    const bool stepped = unit <= kUnitDays ? StepCalendar(n, unit, time.wDay, day)
                                           : StepTicks(n, unit, day, tickOfDay);
    if (!stepped) {
        return FALSE;
    }
    out = TimeOf(day, tickOfDay);
    return TRUE;
}

bool StepClock(std::int64_t& dateDay, std::int64_t& secondOfDay, std::int64_t n, int unit) {
    std::int64_t tickOfDay = secondOfDay * kTicksPerSecond;
    if (unit < kUnitHours || unit > kUnitSeconds || !StepTicks(n, unit, dateDay, tickOfDay)) {
        return false;
    }
    secondOfDay = tickOfDay / kTicksPerSecond;
    return true;
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
    const int last = std::min(to, 32);
    if (from < 1 || from > last) {
        return -1;
    }
    const std::uint64_t selected = (std::uint64_t{mask} & LowBits(last)) >> (from - 1);
    return selected == 0 ? -1 : from + std::countr_zero(selected);
}

int FindPrevBit(int from, int to, DWORD mask) {
    const int first = std::min(to, 32);
    if (from < 1 || first < from) {
        return -1;
    }
    const std::uint64_t selected = (std::uint64_t{mask} & LowBits(first)) >> (from - 1);
    return selected == 0 ? -1 : from + static_cast<int>(std::bit_width(selected)) - 1;
}
