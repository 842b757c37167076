#include "tasks/TriggerDescription.h"

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/WideText.h"
#include "support/MethodGuard.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr GuardNames kGetTriggerDescription{L"CZynTaskImpl", L"GetTriggerDescription"};
constexpr std::size_t kDescriptionCapacity = 4096;

constexpr const wchar_t* kWeekdayNames[7] = {L"Sun",  L"Mon", L"Tues", L"Wed",
                                             L"Thur", L"Fri", L"Sat"};
constexpr const wchar_t* kMonthNames[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
constexpr const wchar_t* kWeekNames[5] = {L"first", L"second", L"third", L"fourth", L"fifth"};

// An unconvertible date shows as zeros rather than failing the description.
SYSTEMTIME CalendarTimeOf(DATE date) {
    SYSTEMTIME time{};
    VariantTimeToSystemTime(date, &time);
    return time;
}

std::wstring TimeText(const SYSTEMTIME& time) {
    return FormatText(16, L"%02d:%02d:%02d", time.wHour, time.wMinute, time.wSecond);
}

std::wstring DateText(const SYSTEMTIME& time) {
    return FormatText(32, L"%02d/%02d/%2d", time.wMonth, time.wDay, time.wYear);
}

// The names of the set bits 0 to count - 1 of `mask`, joined by ", ".
std::wstring NameList(DWORD mask, const wchar_t* const* names, int count) {
    std::wstring list;
    for (int bit = 0; bit < count; ++bit) {
        if ((mask >> bit) & 1u) {
            list += list.empty() ? L"" : L", ";
            list += names[bit];
        }
    }
    return list;
}

std::wstring DayList(DWORD daysOfMonth) {
    std::wstring list;
    for (int day = 1; day <= 31; ++day) {
        if ((daysOfMonth >> (day - 1)) & 1u) {
            list += list.empty() ? L"" : L", ";
            list += std::to_wstring(day);
        }
    }
    return list;
}

std::wstring MonthList(DWORD monthsOfYear) {
    return monthsOfYear == kAllMonths ? L"every month" : NameList(monthsOfYear, kMonthNames, 12);
}

// Week is checked when a document is read; any other value has no name.
const wchar_t* WeekName(LONG week) {
    return week >= 1 && week <= 5 ? kWeekNames[week - 1] : L"";
}

std::wstring ScheduleText(const CZynTaskTrigger& trigger, const std::wstring& date) {
    const std::wstring weekdays = NameList(trigger.DaysOfWeek, kWeekdayNames, 7);
    switch (trigger.Type) {
        case kTriggerOnce:
            return L" on " + date;
        case kTriggerDaily: {
            const std::wstring every = trigger.DaysInterval == 1
                                           ? std::wstring(L"day")
                                           : FormatText(32, L"%d days", trigger.DaysInterval);
            return FormatText(kDescriptionCapacity, L" every %ls, starting %ls", every.c_str(),
                              date.c_str());
        }
        case kTriggerWeekly:
            return FormatText(kDescriptionCapacity, L" every %ls of every %d weeks, starting %ls",
                              weekdays.c_str(), trigger.WeeksInterval, date.c_str());
        case kTriggerMonthlyDay:
            return FormatText(kDescriptionCapacity, L" on day %ls of %ls, starting %ls",
                              DayList(trigger.DaysOfMonth).c_str(),
                              MonthList(trigger.MonthsOfYear).c_str(), date.c_str());
        case kTriggerMonthlyDow:
            return FormatText(kDescriptionCapacity,
                              L" every %ls on the %ls week of %ls, starting %ls", weekdays.c_str(),
                              WeekName(trigger.Week), MonthList(trigger.MonthsOfYear).c_str(),
                              date.c_str());
        default:
            return {};
    }
}

void BuildDescription(const CZynTaskTrigger& trigger, std::wstring& text) {
    const SYSTEMTIME begin = CalendarTimeOf(trigger.BeginDate);
    const std::wstring time = TimeText(begin);
    if (trigger.Interval != 0) {
        text = FormatText(kDescriptionCapacity, L"Every %d minute(s) from %ls for %d minutes",
                          trigger.Interval, time.c_str(), static_cast<int>(trigger.Duration));
    } else {
        text = L"At " + time;
    }
    if (trigger.Type == kTriggerIdle) {
        text = L"Run when idle";
        return;
    }
    text += ScheduleText(trigger, DateText(begin));
    if (trigger.Type >= kTriggerDaily && trigger.Type <= kTriggerMonthlyDow &&
        CompareDates(trigger.EndDate, 0) > 0) {
        text += L" and ending " + DateText(CalendarTimeOf(trigger.EndDate));
    }
}

}  // namespace

std::wstring GetTriggerDescription(const CZynTaskTrigger& trigger) {
    std::wstring text;
    GuardAndLog(kGetTriggerDescription, kTaskImplLogSource,
                [&] { BuildDescription(trigger, text); });
    return text;
}
