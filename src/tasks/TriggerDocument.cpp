#include "tasks/TriggerDocument.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <limits>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/WideText.h"
#include "support/LogCall.h"
#include "support/ThrowError.h"
#include "tasks/ScheduleArithmetic.h"
#include "tasks/TriggerDescription.h"

namespace {

constexpr std::size_t kMessageCapacity = 4096;
// Dates in task documents mean the same on every machine: the invariant locale, without the
// user's overrides.
constexpr LCID kInvariantLocale = 0x007F;
constexpr ULONG kLocaleNoUserOverride = 0x80000000;

void Warn(const wchar_t* message) {
    CEReportEvent(CE_SEVERITY_WARNING, kTaskImplLogSource, message);
}

[[noreturn]] void Refuse(const wchar_t* message) {
    CEThrowError(E_FAIL, message);
}

// False when the element has no such attribute.
bool ReadAttribute(const XmlNode& element, const wchar_t* name, LONG& value) {
    const XmlNode attribute = element.Attribute(name);
    if (!attribute) {
        return false;
    }
    value = ReadDecimal(attribute.Text());
    return true;
}

void ReadRepetition(const XmlNode& element, CZynTaskTrigger& trigger) {
    LONG interval = 0;
    if (!ReadAttribute(element, L"Interval", interval)) {
        Warn(L"No task Interval specified, defaulting to 0");
    } else if (interval < 0) {
        CEReportEventFormat(CE_SEVERITY_WARNING, kTaskImplLogSource,
                            L"Invalid task Interval %d specified, defaulting to 0", interval);
        interval = 0;
    }
    trigger.Interval = interval;
    LONG duration = 0;
    if (!ReadAttribute(element, L"Duration", duration)) {
        Warn(L"Invalid task Duration specified, defaulting to 0");
        trigger.Duration = 0;
        return;
    }
    trigger.Duration = static_cast<DWORD>(duration);
    if (trigger.Duration < static_cast<DWORD>(trigger.Interval)) {
        Warn(
            L"Invalid trigger settings. The task duration must be greater than the task "
            L"interval. Using an interval value of 0");
        trigger.Interval = 0;
    }
}

void ReadDates(const XmlNode& element, CZynTaskTrigger& trigger) {
    trigger.BeginDate = GetSubNodeValueAsDate(element, L".//BeginDate");
    if (CompareDates(trigger.BeginDate, 0) == 0) {
        Refuse(L"No BeginDate specified for trigger.");
    }
    if (trigger.Type < kTriggerDaily || trigger.Type > kTriggerMonthlyDow) {
        return;
    }
    const DATE end = GetSubNodeValueAsDate(element, L".//EndDate");
    if (CompareDates(end, 0) == 0) {
        trigger.EndDate = 0;
        return;
    }
    if (CompareDates(end, trigger.BeginDate) < 0) {
        Refuse(L"Invalid EndDate specified for trigger. EndDate must be greater than begin date.");
    }
    trigger.EndDate = end;
}

LONG ReadInterval(const XmlNode& element, const wchar_t* query, const wchar_t* warning) {
    const LONG interval = GetSubNodeValueAsInt(element, query);
    if (interval == 0) {
        Warn(warning);
        return 1;
    }
    return interval;
}

DWORD ReadDaysOfWeek(const XmlNode& element) {
    const auto days = static_cast<DWORD>(GetSubNodeValueAsInt(element, L".//DaysOfWeek"));
    if ((days & kWeekdayBits) == 0) {
        Refuse(L"Invalid DaysOfWeek specified for trigger.");
    }
    return days;
}

DWORD ReadMonthsOfYear(const XmlNode& element) {
    const auto months = static_cast<DWORD>(GetSubNodeValueAsInt(element, L".//MonthsOfYear"));
    if ((months & kAllMonths) == 0) {
        Warn(L"Invalid task MonthsOfYear specified, defaulting to 4095");
        return kAllMonths;
    }
    return months;
}

void ReadTypeSettings(const XmlNode& element, CZynTaskTrigger& trigger) {
    switch (trigger.Type) {
        case kTriggerDaily:
            trigger.DaysInterval =
                ReadInterval(element, L".//DaysInterval",
                             L"Invalid task DaysInterval specified, defaulting to 1");
            break;
        case kTriggerWeekly:
            trigger.WeeksInterval =
                ReadInterval(element, L".//WeeksInterval",
                             L"Invalid task WeeksInterval specified, defaulting to 1");
            trigger.DaysOfWeek = ReadDaysOfWeek(element);
            break;
        case kTriggerMonthlyDay:
            trigger.DaysOfMonth =
                static_cast<DWORD>(GetSubNodeValueAsInt(element, L".//DaysOfMonth"));
            if ((trigger.DaysOfMonth & kDayOfMonthBits) == 0) {
                Refuse(L"Invalid DaysOfMonth specified for trigger.");
            }
            trigger.MonthsOfYear = ReadMonthsOfYear(element);
            break;
        case kTriggerMonthlyDow:
            trigger.Week = GetSubNodeValueAsInt(element, L".//Week");
            if (trigger.Week < 1 || trigger.Week > 5) {
                Refuse(L"Invalid Week specified for trigger.");
            }
            trigger.DaysOfWeek = ReadDaysOfWeek(element);
            trigger.MonthsOfYear = ReadMonthsOfYear(element);
            break;
        default:
            break;  // the other types have no settings of their own
    }
}

}  // namespace

XmlDocument LoadTaskDocument(std::wstring_view text) {
    XmlDocument document;
    std::wstring reason;
    if (!document.Load(text, reason)) {
        CEThrowError(
            E_FAIL, FormatText(kMessageCapacity, L"Failed to load task xml into XMLDOM. Error %ls.",
                               reason.c_str()));
    }
    return document;
}

std::vector<XmlNode> TriggerElements(const XmlDocument& document) {
    const XmlNode task = document.SelectSingle(L"//Task");
    return task ? task.SelectAll(L".//Trigger") : std::vector<XmlNode>{};
}

ZynTriggerList ReadTriggers(const XmlDocument& document) {
    ZynTriggerList triggers;
    for (const XmlNode& element : TriggerElements(document)) {
        triggers.push_back(ReadTrigger(element));
    }
    return triggers;
}

CountedPtr<CZynTaskTrigger> ReadTrigger(const XmlNode& element) {
    CountedPtr<CZynTaskTrigger> trigger = MakeCounted<CZynTaskTrigger>();
    ReadAttribute(element, L"Type", trigger->Type);
    // A negative type marks a trigger to be ignored: it stays disabled, with its defaults.
    if (trigger->Type < 0) {
        return trigger;
    }
    ReadRepetition(element, *trigger);
    LONG disabled = 0;
    trigger->Enabled =
        ReadAttribute(element, L"Disabled", disabled) && disabled == 1 ? FALSE : TRUE;
    ReadDates(element, *trigger);
    ReadTypeSettings(element, *trigger);
    trigger->Description = GetTriggerDescription(*trigger);
    return trigger;
}

LONG ReadDecimal(const std::wstring& text) {
    const long value = std::wcstol(text.c_str(), nullptr, 10);
    return static_cast<LONG>(std::clamp<long>(value, std::numeric_limits<LONG>::min(),
                                              std::numeric_limits<LONG>::max()));
}

LONG GetSubNodeValueAsInt(const XmlNode& node, std::wstring_view query) {
    try {
        const XmlNode found = node.SelectSingle(query);
        return found ? ReadDecimal(found.Text()) : 0;
    } catch (...) {
        CEReportEvent(CE_SEVERITY_TRACE, L"ZynTaskSchedulerLib",
                      L"CZynTaskImpl::GetSubNodeValueAsInt() Unknown error");
        return 0;
    }
}

DATE GetSubNodeValueAsDate(const XmlNode& node, std::wstring_view query) {
    try {
        const XmlNode found = node.SelectSingle(query);
        DATE date = 0;
        std::wstring text = found ? found.Text() : std::wstring();
        if (!found ||
            FAILED(VarDateFromStr(text.data(), kInvariantLocale, kLocaleNoUserOverride, &date))) {
            return 0;
        }
        return date;
    } catch (...) {
        CEReportEvent(CE_SEVERITY_TRACE, L"ZynTaskSchedulerLib",
                      L"CZynTaskImpl::GetSubNodeValueAsDate() Unknown error");
        return 0;
    }
}
