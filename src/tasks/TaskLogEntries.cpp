#include "tasks/TaskLogEntries.h"

#include <cstdint>
#include <string_view>

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/WideText.h"
#include "support/ThrowError.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr std::size_t kDateTextCapacity = 32;

// The names the log gives the schedule types; a type beyond them reads as a single run.
constexpr const wchar_t* kTypeNames[] = {L"Run Once", L"Run Daily", L"Run Weekly",
                                         L"Run On Day In Month", L"Run On Day In Week In Month"};

std::wstring TypeName(LONG type) {
    if (type < 0) {
        return {};
    }
    const auto index = static_cast<std::size_t>(type);
    return index < std::size(kTypeNames) ? kTypeNames[index] : kTypeNames[kTriggerOnce];
}

// Every number goes out as a signed 32-bit decimal, masks and unsigned durations included.
std::wstring Decimal(std::uint32_t value) {
    return std::to_wstring(static_cast<std::int32_t>(value));
}

// An element with the value as its text; an empty value leaves the element empty.
void AppendValue(const XmlNode& parent, const wchar_t* name, std::wstring_view value) {
    const XmlNode element = parent.AppendElement(name);
    if (!value.empty()) {
        element.SetText(value);
    }
}

void AppendDecimal(const XmlNode& parent, const wchar_t* name, std::uint32_t value) {
    AppendValue(parent, name, Decimal(value));
}

void AppendTypeSpecific(const XmlNode& entry, const CZynTaskTrigger& trigger) {
    switch (trigger.Type) {
        case kTriggerDaily:
            AppendDecimal(entry, L"DaysInterval", trigger.DaysInterval);
            break;
        case kTriggerWeekly:
            AppendDecimal(entry, L"WeeksInterval", trigger.WeeksInterval);
            AppendDecimal(entry, L"DaysOfWeek", trigger.DaysOfWeek);
            break;
        case kTriggerMonthlyDay:
            AppendDecimal(entry, L"DaysOfMonth", trigger.DaysOfMonth);
            AppendDecimal(entry, L"MonthsOfYear", trigger.MonthsOfYear);
            break;
        case kTriggerMonthlyDow:
            AppendDecimal(entry, L"Week", trigger.Week);
            AppendDecimal(entry, L"DaysOfWeek", trigger.DaysOfWeek);
            AppendDecimal(entry, L"MonthsOfYear", trigger.MonthsOfYear);
            break;
        default:
            break;
    }
}

}  // namespace

std::wstring FormatLogDate(DATE date) {
    if (CompareDates(date, 0) <= 0) {
        return L"None";
    }
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) {
        CEThrowError(E_FAIL, L"Failed to convert date variant time to system time.");
    }
    return FormatText(kDateTextCapacity, L"%02d-%02d-%d %02d:%02d:%02d", time.wMonth, time.wDay,
                      time.wYear, time.wHour, time.wMinute, time.wSecond);
}

void AppendTriggerState(const XmlNode& triggers, const CZynTaskTrigger& trigger) {
    const XmlNode entry = triggers.AppendElement(L"Trigger");
    AppendValue(entry, L"Type", TypeName(trigger.Type));
    AppendValue(entry, L"Enabled", trigger.Enabled == 0 ? L"false" : L"true");
    AppendValue(entry, L"NextRunTime", FormatLogDate(trigger.NextRunTime));
    AppendValue(entry, L"LastRunTime", FormatLogDate(trigger.LastRunTime));
    AppendValue(entry, L"BeginDate", FormatLogDate(trigger.BeginDate));
    AppendValue(entry, L"EndDate", FormatLogDate(trigger.EndDate));
    AppendValue(entry, L"BeginRptCycleTime", FormatLogDate(trigger.BeginRptCycleTime));
    AppendValue(entry, L"EndRptCycleTime", FormatLogDate(trigger.EndRptCycleTime));
    AppendValue(entry, L"Description", trigger.Description);
    AppendDecimal(entry, L"Interval", trigger.Interval);
    AppendDecimal(entry, L"Duration", trigger.Duration);
    AppendTypeSpecific(entry, trigger);
}
