// Test helpers of the task-definition tests (included by *_test.cpp only): dates from text,
// trigger records from settings, the runner of schedule tables, a stand-in engine and a task
// log writer that records what it is given.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Runtime.h"
#include "platform/ComError.h"
#include "platform/WideText.h"
#include "support/LogCall.h"
#include "support/LogCapture.h"
#include "support/ScopedZone.h"
#include "tasks/ScheduleArithmetic.h"
#include "tasks/TriggerRunSearch.h"
#include "tasks/ZynTaskEngine.h"
#include "tasks/ZynTaskImpl.h"
#include "tasks/ZynTaskLogWriter.h"

// "2024-03-10 10:00" and the other forms of the date reader; a bad text fails the test.
inline DATE DateOf(const wchar_t* text) {
    DATE date = 0;
    std::wstring copy(text);  // Windows declares the text without const
    EXPECT_EQ(VarDateFromStr(copy.data(), 0, 0, &date), S_OK) << WideToUtf8(text);
    return date;
}

inline std::string DateText(DATE date) {
    if (date == 0) {
        return "no run";
    }
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) {
        return "invalid date " + std::to_string(date);
    }
    return WideToUtf8(FormatText(32, L"%04d-%02d-%02d %02d:%02d:%02d", time.wYear, time.wMonth,
                                 time.wDay, time.wHour, time.wMinute, time.wSecond));
}

struct TriggerSettings {
    LONG type = kTriggerOnce;
    const wchar_t* begin = L"2024-01-01 10:00";
    const wchar_t* end = nullptr;
    LONG interval = 0;
    DWORD duration = 0;
    LONG daysInterval = 1;
    LONG weeksInterval = 1;
    DWORD daysOfWeek = 0;
    DWORD daysOfMonth = 0;
    DWORD monthsOfYear = kAllMonths;
    LONG week = 0;
};

inline CountedPtr<CZynTaskTrigger> MakeTrigger(const TriggerSettings& settings) {
    CountedPtr<CZynTaskTrigger> trigger = MakeCounted<CZynTaskTrigger>();
    trigger->Type = settings.type;
    trigger->Enabled = TRUE;
    trigger->BeginDate = DateOf(settings.begin);
    trigger->EndDate = settings.end == nullptr ? 0 : DateOf(settings.end);
    trigger->Interval = settings.interval;
    trigger->Duration = settings.duration;
    trigger->DaysInterval = settings.daysInterval;
    trigger->WeeksInterval = settings.weeksInterval;
    trigger->DaysOfWeek = settings.daysOfWeek;
    trigger->DaysOfMonth = settings.daysOfMonth;
    trigger->MonthsOfYear = settings.monthsOfYear;
    trigger->Week = settings.week;
    return trigger;
}

// One line of a schedule table: a trigger, a reference time and the next run it must give
// (null: no further run), optionally with the repetition window the run falls in.
struct ScheduleRow {
    const char* rule;
    TriggerSettings trigger;
    const wchar_t* last;
    const wchar_t* next;
    const wchar_t* windowBegin = nullptr;
    const wchar_t* windowEnd = nullptr;
};

// In a zone that never changes its offset, moments and wall times are the same numbers: the
// moment of a date, to the millisecond (a date near today carries a microsecond of rounding),
// and the wall time a run comes at, as a date.
inline RealTime MomentOfDate(DATE date) {
    return std::llround((date - 25'569.0) * 86'400'000.0) * 1000;
}
inline DATE RunDate(const ScheduledRun& run) {
    return run.IsRun() ? DateOfWallTime(run.at) : 0;
}

// The task's next run after the date `last`, in a zone without changes.
inline DATE NextTaskRunAfter(CZynTaskImpl& task, DATE last) {
    const ScopedZone utc("UTC0");
    return RunDate(task.CalculateTriggersNextRunTime(MomentOfDate(last), WallTimeline()));
}

// Runs every row through the trigger's run search; a valid row logs no failure.
inline void ExpectNextRuns(const std::vector<ScheduleRow>& rows) {
    for (const ScheduleRow& row : rows) {
        LogCapture log;
        CountedPtr<CZynTaskTrigger> trigger = MakeTrigger(row.trigger);
        const DATE last = DateOf(row.last);
        const DATE expected = row.next == nullptr ? 0 : DateOf(row.next);
        SCOPED_TRACE(::testing::Message() << row.rule << ": after " << DateText(last)
                                          << " expected " << DateText(expected));
        const ScopedZone utc("UTC0");
        const DATE next = RunDate(NextTriggerRun(*trigger, MomentOfDate(last), WallTimeline()));
        EXPECT_EQ(CompareDates(next, expected), 0) << "got " << DateText(next);
        if (row.windowBegin != nullptr) {
            EXPECT_EQ(CompareDates(trigger->BeginRptCycleTime, DateOf(row.windowBegin)), 0)
                << "window begins " << DateText(trigger->BeginRptCycleTime);
            EXPECT_EQ(CompareDates(trigger->EndRptCycleTime, DateOf(row.windowEnd)), 0)
                << "window ends " << DateText(trigger->EndRptCycleTime);
        }
        EXPECT_TRUE(log.Matching(L"failed").empty());
    }
}

// A new task identity, so that tests running at once never share a task's named objects.
inline std::wstring FreshTaskGuid() {
    GUID guid{};
    EXPECT_EQ(CoCreateGuid(&guid), S_OK);
    wchar_t text[40] = {};
    EXPECT_GT(StringFromGUID2(guid, text, 40), 0);
    return text;
}

// What a call raised: its HRESULT and description; S_OK when it raised nothing.
struct Raised {
    HRESULT hr = S_OK;
    std::wstring description;
};

template <class Call>
Raised RaisedBy(Call&& call) {
    try {
        call();
    } catch (const ComError& error) {
        return {error.Error(), error.Description()};
    }
    return {};
}

// A task document with the given trigger elements inside its Task element.
inline std::wstring TaskDocument(const std::wstring& triggers,
                                 const std::wstring& name = L"Backup") {
    return L"<Schedule Name=\"" + name + L"\"><Task><Triggers>" + triggers +
           L"</Triggers><HandlerCLSID>{00000000-0000-0000-0000-000000000001}</HandlerCLSID>"
           L"</Task></Schedule>";
}

// The engine as a task definition sees it, with settable answers.
class FakeEngine final : public CCERefCountBase, public IZynTaskEngine {
public:
    ULONG AddRef() override { return CCERefCountBase::AddRef(); }
    ULONG Release() override { return CCERefCountBase::Release(); }
    std::wstring GetWorkFolder() override { return workFolder; }
    bool HasWorkFolderLock() override {
        ++questions;
        return holdsLock;
    }
    bool IsLoggingEnabled() override {
        ++questions;
        return loggingEnabled;
    }

    std::wstring workFolder = L"/work/tasks";
    bool holdsLock = true;
    bool loggingEnabled = true;
    int questions = 0;
};

// A task log writer that keeps what it is given: each name with its folder and task, and each
// status as its number of triggers and the first trigger's next run.
class RecordingLogWriter final : public IZynTaskLogWriter {
public:
    void LogName(std::wstring_view logFolder, std::wstring_view taskGuid,
                 std::wstring_view taskName) override {
        names.push_back(std::wstring(logFolder) + L"|" + std::wstring(taskGuid) + L"|" +
                        std::wstring(taskName));
    }
    void LogTaskStatus(std::wstring_view, std::wstring_view,
                       const ZynTriggerList& triggers) override {
        statuses.emplace_back(triggers.size(),
                              triggers.empty() ? 0 : triggers.front()->NextRunTime);
    }

    std::vector<std::wstring> names;
    std::vector<std::pair<std::size_t, DATE>> statuses;
};
