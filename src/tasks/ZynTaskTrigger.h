// One trigger of a task: when and how often the task runs, as read from its task document,
// and the results of the last next-run computation over it.
//
// A plain record shared through counted references (the task definition's list, the task log
// writer). It has no lock: the engine's main lock serialises every reader and writer. Nothing
// here fails.
#pragma once

#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Types.h"
#include "support/RefCountBase.h"

// Trigger types, as the Type attribute of a task document carries them.
inline constexpr LONG kTriggerOnce = 0;
inline constexpr LONG kTriggerDaily = 1;
inline constexpr LONG kTriggerWeekly = 2;
inline constexpr LONG kTriggerMonthlyDay = 3;
inline constexpr LONG kTriggerMonthlyDow = 4;
inline constexpr LONG kTriggerIdle = 5;
// Types from this one up are scheduled like kTriggerOnce.
inline constexpr LONG kTriggerFirstOnceAlias = 8;

// The bits of the masks that name something: weekdays Sunday to Saturday, days 1 to 31,
// months January to December.
inline constexpr DWORD kWeekdayBits = 0x7F;
inline constexpr DWORD kDayOfMonthBits = 0x7FFFFFFF;
inline constexpr DWORD kAllMonths = 0xFFF;

// The log source of everything the task definition and its schedule report.
inline constexpr wchar_t kTaskImplLogSource[] = L"CZynTaskImpl";

class CZynTaskTrigger : public CCERefCountBase {
public:
    LONG Type = kTriggerOnce;
    BOOL Enabled = FALSE;        // set by the document reader unless the trigger is disabled
    DATE BeginDate = 0;          // its time of day is the time of day of every run
    DATE EndDate = 0;            // 0: none
    DATE NextRunTime = 0;        // 0: no further run
    DATE LastRunTime = 0;        // the reference time of the last computation
    DATE BeginRptCycleTime = 0;  // repetition window containing or following LastRunTime
    DATE EndRptCycleTime = 0;
    LONG Interval = 0;   // minutes between runs inside a window; 0: no repetition
    DWORD Duration = 0;  // window length in minutes
    LONG DaysInterval = 1;
    LONG WeeksInterval = 1;
    DWORD DaysOfWeek = 0;             // bit 0 Sunday ... bit 6 Saturday
    DWORD DaysOfMonth = 0;            // bit n-1: day n
    DWORD MonthsOfYear = kAllMonths;  // bit 0 January ... bit 11 December
    LONG Week = 0;                    // 1 to 4, or 5 for the last seven days of the month
    std::wstring Description;
};

using ZynTriggerList = std::vector<CountedPtr<CZynTaskTrigger>>;

// Whether the trigger repeats within windows. An Interval needs a window to repeat in: without a
// Duration (or with 0) there is none, and the trigger runs at its begin time on its run days.
inline bool RepeatsWithinWindows(const CZynTaskTrigger& trigger) {
    return trigger.Interval > 0 && trigger.Duration > 0;
}
