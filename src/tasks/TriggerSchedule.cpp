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
            if (trigger.Type == kTriggerOnce || trigger.Type >= kTriggerFirstOnceAlias) {
                CalcNextSingleRunTime(trigger);
            }
            break;
    }
}
