#include "tasks/TriggerSchedule.h"

#include "tasks/BasicSchedules.h"
#include "tasks/MonthlySchedule.h"

void CalculateTriggerNextRunTime(CZynTaskTrigger& trigger) {
    switch (trigger.Type) {
        case kTriggerDaily:
            CalcNextDailyRunTime(trigger);
            break;
        case kTriggerWeekly:
            CalcNextWeeklyRunTime(trigger);
            break;
        case kTriggerMonthlyDay:
            CalcNextMonthlyRunTime(trigger);
            break;
        case kTriggerMonthlyDow:
            CalcNextMonthlyDowRunTime(trigger);
            break;
        default:
            if (IsSingleRunTrigger(trigger)) {
                CalcNextSingleRunTime(trigger);
            }
            break;
    }
}

bool IsSingleRunTrigger(const CZynTaskTrigger& trigger) {
    return trigger.Type == kTriggerOnce || trigger.Type >= kTriggerFirstOnceAlias;
}

bool HasWallSchedule(const CZynTaskTrigger& trigger) {
    return IsSingleRunTrigger(trigger) ||
           (trigger.Type >= kTriggerDaily && trigger.Type <= kTriggerMonthlyDow);
}

const CalendarRules* CalendarRulesOf(const CZynTaskTrigger& trigger) {
    switch (trigger.Type) {
        case kTriggerDaily:
            return DailyRules(trigger);
        case kTriggerWeekly:
            return WeeklyRules(trigger);
        case kTriggerMonthlyDay:
            return MonthlyDayRules(trigger);
        case kTriggerMonthlyDow:
            return MonthlyDowRules(trigger);
        default:
            return nullptr;
    }
}
