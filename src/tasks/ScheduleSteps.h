// The conversions and calendar steps the next-run calculators are built from. They work on
// ScheduleTime, a day number and a second of that day, so that moving by days or reading the
// weekday costs an addition or a remainder and only the monthly searches ever need calendar
// fields. The values are exactly those of the SYSTEMTIME forms: a DATE is read as
// VariantTimeToSystemTime reads it and written as SystemTimeToVariantTime writes it, and the
// steps stay within the years 1 to 30827 (StepDays).
//
// Each checked conversion raises E_FAIL (CEThrowError) with the message that names the value
// that could not be converted, so the calculator's guard reports which one left the calendar;
// a step beyond the calendar raises the message of the value being computed. Pure functions;
// thread-safe. Nothing allocates unless it raises.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/CalendarTime.h"
#include "platform/WallTimeline.h"
#include "tasks/ScheduleArithmetic.h"

inline constexpr wchar_t kStartTimeFailure[] =
    L"Failed to convert start time variant time to system time.";
inline constexpr wchar_t kLastRunTimeFailure[] =
    L"Failed to convert last run time variant time to system time.";
inline constexpr wchar_t kNextRunTimeFailure[] =
    L"Failed to convert next run time system time to variant time.";
inline constexpr wchar_t kPrevRunTimeFailure[] =
    L"Failed to convert prev run time system time to variant time.";

// A calendar time of the schedule computation. Days count as DATE's whole days do (0 is
// 30 December 1899); times carry no milliseconds, as no DATE read here has any.
struct ScheduleTime {
    std::int64_t day = 0;
    std::int64_t second = 0;  // of the day, 0 to 86 399
};

[[noreturn]] void RaiseConversionFailure(const wchar_t* message);

// A DATE as schedule time; raises `failure` when it is no date of the calendar.
inline ScheduleTime ToScheduleTime(DATE date, const wchar_t* failure) {
    ScheduleTime time;
    if (!SplitDate(date, time.day, time.second)) {
        RaiseConversionFailure(failure);
    }
    return time;
}

// A schedule time as DATE; raises `failure` outside the years 100 to 9999.
inline DATE ToDate(ScheduleTime time, const wchar_t* failure) {
    if (time.day < kFirstDateDay || time.day >= kEndDateDay) {
        RaiseConversionFailure(failure);
    }
    return JoinDate(time.day, time.second);
}

// A schedule time as a wall time.
constexpr WallTime WallTimeOf(ScheduleTime time) {
    return ((time.day - kDateDayOf1970) * kSecondsPerDateDay + time.second) *
           kMicrosecondsPerSecond;
}

// `day`'s date at `time`'s time of day.
constexpr ScheduleTime AtTimeOfDay(ScheduleTime day, ScheduleTime time) {
    return {day.day, time.second};
}

// 0 = Sunday.
constexpr int WeekdayOf(ScheduleTime time) {
    return DayOfWeekOfDateDay(time.day);
}

// `time` moved by whole days, time of day kept; raises `failure` when the day leaves the
// calendar StepDays steps in.
inline ScheduleTime MoveDays(ScheduleTime time, std::int64_t days,
                             const wchar_t* failure = kNextRunTimeFailure) {
    if (!StepDays(time.day, days)) {
        RaiseConversionFailure(failure);
    }
    return time;
}

// `time` moved by whole minutes; raises `failure` as MoveDays does.
ScheduleTime MoveMinutes(ScheduleTime time, std::int64_t minutes, const wchar_t* failure);
