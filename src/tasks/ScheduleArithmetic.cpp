#include "tasks/ScheduleArithmetic.h"

#include <algorithm>
#include <bit>

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr std::int64_t kTicksPerHour = 60 * kTicksPerMinute;
constexpr std::int64_t kTicksPerDay = 24 * kTicksPerHour;
constexpr std::int64_t kTicksPerClockUnit[] = {kTicksPerHour, kTicksPerMinute, kTicksPerSecond};

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

// The mask of bits 0 to n - 1, for n from 0 to 32.
constexpr std::uint64_t LowBits(int n) {
    return (std::uint64_t{1} << n) - 1;
}

}  // namespace

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
