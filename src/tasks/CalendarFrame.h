// The frame every calendar trigger type (daily, weekly, monthly by day, monthly by weekday)
// computes in. Without repetition it gives the next run in wall time: the end date, the first
// run day from the reference day on, and the move to a later run day; a trigger type supplies
// only its day searches and its rule for when the run must fall after the reference day. With
// repetition it gives the run days whose windows the reference time may fall in, for the
// windows kept in real time (TriggerRunSearch).
//
// Runs under the caller's lock (the engine's main lock); raises, for the calculator's guard,
// when a date leaves the calendar. No allocation unless it raises.
#pragma once

#include <utility>

#include "support/MethodGuard.h"
#include "tasks/ScheduleSteps.h"
#include "tasks/ZynTaskTrigger.h"

// What one calculation knows when it asks a trigger type for run days.
struct CalendarFrameInput {
    const CZynTaskTrigger& trigger;
    DATE lastRun;           // the reference time
    DATE base;              // BeginDate while the reference time is earlier, else the reference
    DATE baseAtBeginTime;   // base's date at the begin time of day
    ScheduleTime begin;     // BeginDate
    ScheduleTime baseTime;  // base
};

// A trigger type's part of the frame. Run days are schedule times whose day is the run day.
// A search answers false when there is no such run day (the trigger then has no further run).
struct CalendarRules {
    // The first run day on or after base's date.
    bool (*firstRunDay)(const CalendarFrameInput& in, ScheduleTime& first);
    // The last run day before `first`; only its repetition window is used.
    bool (*previousRunDay)(const CalendarFrameInput& in, ScheduleTime first,
                           ScheduleTime& previous);
    // Without repetition: whether the next run must fall on a day after base's date.
    bool (*mustPassBaseDay)(const CalendarFrameInput& in, ScheduleTime first);
    // The run time on the first run day on or after base's date, strictly after it when
    // `pastBaseDay`.
    bool (*nextRunTime)(const CalendarFrameInput& in, bool pastBaseDay, DATE& runTime);
};

// Computes the trigger's next run at its begin time of day after its LastRunTime, repetition
// left aside, into NextRunTime (the window fields are cleared).
void RunCalendarFrame(CZynTaskTrigger& trigger, const CalendarRules& rules);

// The run days around the trigger's LastRunTime, each at the begin time of day: the first on or
// after the reference day, the one before it, and the first after the reference day.
struct CalendarRunDays {
    ScheduleTime first;
    bool hasPrevious = false;
    ScheduleTime previous;
    bool hasLater = false;
    DATE later = 0;
};
// False when the trigger has no run day from the reference day on.
bool FindCalendarRunDays(const CZynTaskTrigger& trigger, const CalendarRules& rules,
                         CalendarRunDays& days);

// Every calendar type reports its failures under one name.
inline constexpr GuardNames kCalendarCalculatorNames{L"CZynTaskImpl", L"CalcNextDailyRunTime"};

// Runs a calculator's body: a failure is logged, leaves the trigger without a next run and is
// answered, never raised, so that the other triggers are still computed.
template <class Body>
HRESULT GuardCalculator(const GuardNames& names, CZynTaskTrigger& trigger, Body&& body) {
    const HRESULT hr = GuardAndLog(names, kTaskImplLogSource, std::forward<Body>(body));
    if (FAILED(hr)) {
        trigger.NextRunTime = 0;
    }
    return hr;
}

// A calendar calculator: `rules` null when the trigger's settings describe no schedule.
HRESULT RunCalendarCalculator(CZynTaskTrigger& trigger, const CalendarRules* rules);
