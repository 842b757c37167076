#include "tasks/ScheduleSteps.h"

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/CalendarTime.h"
#include "support/ThrowError.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

[[noreturn]] void RaiseConversionFailure(const wchar_t* message) {
    CEThrowError(E_FAIL, message);
}

}  // namespace

SYSTEMTIME ToSystemTime(DATE date, const wchar_t* failure) {
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) {
        RaiseConversionFailure(failure);
    }
    return time;
}

DATE ToDate(const SYSTEMTIME& time, const wchar_t* failure) {
    DATE date = 0;
    if (!SystemTimeToVariantTime(&time, &date)) {
        RaiseConversionFailure(failure);
    }
    return date;
}

SYSTEMTIME AtTimeOfDay(const SYSTEMTIME& day, const SYSTEMTIME& time) {
    SYSTEMTIME result = day;
    result.wHour = time.wHour;
    result.wMinute = time.wMinute;
    result.wSecond = time.wSecond;
    result.wMilliseconds = time.wMilliseconds;
    return result;
}

SYSTEMTIME WithDayOfMonth(const SYSTEMTIME& time, int day) {
    SYSTEMTIME result = time;
    const int shift = ((day - time.wDay) % 7 + 7) % 7;
    result.wDayOfWeek = static_cast<WORD>((time.wDayOfWeek + shift) % 7);
    result.wDay = static_cast<WORD>(day);
    return result;
}

std::int64_t DayNumber(const SYSTEMTIME& time) {
    return DaysFromCivil(time.wYear, time.wMonth, time.wDay);
}

SYSTEMTIME MoveBy(const SYSTEMTIME& time, std::int64_t n, int unit, const wchar_t* failure) {
    SYSTEMTIME moved{};
    if (!AddToSystemTime(time, n, unit, moved)) {
        RaiseConversionFailure(failure);
    }
    return moved;
}

SYSTEMTIME MoveDays(const SYSTEMTIME& time, std::int64_t days, const wchar_t* failure) {
    return MoveBy(time, days, kUnitDays, failure);
}

SYSTEMTIME MoveMonths(const SYSTEMTIME& time, int months, const wchar_t* failure) {
    return MoveBy(time, months, kUnitMonths, failure);
}
