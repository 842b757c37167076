// The day searches of the monthly triggers: by day of the month (DaysOfMonth in MonthsOfYear)
// and by weekday in one week of the month (DaysOfWeek in the Week-th seven days of
// MonthsOfYear, Week 5 being the last seven days). Each result carries the trigger's begin time
// of day, so its DATE is a run time.
//
// Pure functions of the trigger and the start; thread-safe. A search answers false when it
// finds no such day within ten years: a selected day that exists at all comes round within
// eight (29 February), so only masks the calculators refuse beforehand end there. A date that
// leaves the calendar raises E_FAIL with the conversion message of the value being searched.
#pragma once

#include "tasks/ScheduleSteps.h"
#include "tasks/ZynTaskTrigger.h"

// The first run day on or after start's date (after it when `pastStartDay`); `start` must be a
// valid calendar time.
bool NextMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date);
// The last run day before start's date.
bool PrevMonthlyDayRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date);
bool NextMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, bool pastStartDay,
                       SYSTEMTIME& day, DATE& date);
bool PrevMonthlyDowRun(const CZynTaskTrigger& trigger, const SYSTEMTIME& start, SYSTEMTIME& day,
                       DATE& date);

// The same searches in schedule time, for a caller that holds BeginDate as schedule time
// (`begin`) already; the day found is not converted.
bool NextMonthlyDay(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    bool pastStartDay, ScheduleTime& day);
bool PrevMonthlyDay(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    ScheduleTime& day);
bool NextMonthlyDow(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    bool pastStartDay, ScheduleTime& day);
bool PrevMonthlyDow(const CZynTaskTrigger& trigger, ScheduleTime begin, ScheduleTime start,
                    ScheduleTime& day);
