#include "engine/MissedRuns.h"

#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "engine/ZynRunPolicySource.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/SuspendTime.h"
#include "platform/WideText.h"
#include "tasks/RunRecordFile.h"
#include "tasks/ScheduleArithmetic.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr DATE kOneSecond = 1.0 / kSecondsPerDay;
// As late as a due run may be and still run (the scheduler thread's rule).
constexpr DATE kLateness = 5.0 / kSecondsPerDay;
// Suspended for less than this, the machine is taken not to have slept.
constexpr std::chrono::milliseconds kShortestSleep{1000};
// Runs a start-up looks through at most, per task, for the last one missed.
constexpr int kLongestSearch = 100000;

// The next run of the task at or after `reference`; 0 when there is none or it cannot be told.
DATE NextRunAfter(IZynTask& task, DATE reference) {
    CVariantHolder argument;
    argument.vt = VT_R8;
    argument.dblVal = reference;
    DATE next = 0;
    return SUCCEEDED(task.GetNextRunTime(argument, &next)) ? next : 0;
}

bool IsBefore(DATE run, DATE limit) {
    return CompareDates(run, 0) > 0 && CompareDates(run, limit) < 0;
}

// Written digit by digit: a gap of a day at ten thousand tasks writes ten thousand of these on
// the scheduler thread, and the formatting functions of the C library cost more than the rest.
void AppendNumber(std::wstring& text, long long number) {
    wchar_t digits[24];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0) {
        text += digits[--count];
    }
}

std::wstring SpanText(DATE span) {
    const auto seconds = static_cast<long long>(span * kSecondsPerDay + 0.5);
    struct Unit {
        long long seconds;
        const wchar_t* name;
    };
    static constexpr Unit kUnits[] = {{86400, L" d"}, {3600, L" h"}, {60, L" min"}, {1, L" s"}};
    // Two units at most, the first one that is at least two of itself.
    std::wstring text;
    for (std::size_t i = 0; i < std::size(kUnits); ++i) {
        if (seconds >= 2 * kUnits[i].seconds || kUnits[i].seconds == 1) {
            AppendNumber(text, seconds / kUnits[i].seconds);
            text += kUnits[i].name;
            if (i + 2 < std::size(kUnits)) {
                text += L' ';
                AppendNumber(text, seconds % kUnits[i].seconds / kUnits[i + 1].seconds);
                text += kUnits[i + 1].name;
            }
            break;
        }
    }
    return text;
}

DATE LocalDateOf(WallClock::TimePoint moment) {
    SYSTEMTIME local = LocalTimeAt(moment);
    local.wMilliseconds = 0;
    DATE date = 0;
    return SystemTimeToVariantTime(&local, &date) ? date : 0;
}

// Since when the task can have missed runs without a scheduler to tell: its newest record, or
// without one, the writing of its document.
DATE LastKnownOf(const std::wstring& workFolder, const std::wstring& identity) {
    const std::vector<RunRecord> newest =
        RunRecordFile(JoinPath(workFolder, kWorkFolderLogsFolderName), identity).Read(1);
    if (!newest.empty()) {
        const RunRecord& record = newest.front();
        return LocalDateOf(record.ended.value_or(
            record.started.value_or(record.due.value_or(WallClock::TimePoint{}))));
    }
    FileStatus status;
    if (QueryFileStatus(JoinPath(workFolder, identity + kTaskDocumentExtension), status) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return LocalDateOf(
        WallClock::TimePoint(std::chrono::duration_cast<WallClock::TimePoint::duration>(
            std::chrono::nanoseconds(status.modifiedNanoseconds))));
}

RunTicket CatchUpTicket(DATE due, int missed, const std::wstring& since) {
    RunTicket ticket;
    ticket.due = due;
    ticket.reason = RunReason::CatchUp;
    ticket.detail = std::to_wstring(missed) + (missed == 1 ? L" run" : L" runs") + L" missed " +
                    since + L", the last shown as due";
    return ticket;
}

}  // namespace

void MissedRuns::Look(CZynTaskSchedulerThread& engine, CZynTasksList& list, DATE lastLook,
                      DATE searchStart, DATE now) {
    const bool firstLook = !m_started;
    m_started = true;
    const std::chrono::milliseconds suspended = TimeSuspendedSinceBoot();
    const bool slept = suspended - m_suspendedAtLastLook >= kShortestSleep;
    m_suspendedAtLastLook = suspended;
    const DATE from = lastLook > m_handledUpTo ? lastLook : m_handledUpTo;
    const bool lost = CompareDates(lastLook, 0) > 0 && CompareDates(searchStart, lastLook) > 0 &&
                      CompareDates(now - from, kLateness) > 0;
    if (!firstLook && !lost) {
        return;
    }
    const Gap gap = GapBefore(from, now, slept);
    for (list.MoveFirst(); auto element = list.GetCurrent(); list.MoveNext()) {
        if (firstLook) {
            CatchUpAtStart(engine, *element, now);
        } else {
            RecordGap(engine, *element, gap);
        }
    }
    m_handledUpTo = now;
}

// What kept the runs from happening, looked at in this order: a disabled scheduler, a machine
// that slept, a clock set forward; otherwise the scheduler thread was held up.
MissedRuns::Gap MissedRuns::GapBefore(DATE from, DATE now, bool slept) {
    Gap gap{from, now, SkipReason::Late, L"the scheduler thread was held up"};
    if (m_disabled) {
        gap.reason = SkipReason::SchedulerDisabled;
        gap.cause = L"the scheduler was disabled";
    } else if (slept) {
        gap.cause = L"the machine was suspended";
    } else if (m_clockChanged) {
        gap.reason = SkipReason::ClockCorrected;
        gap.cause = L"the clock was set forward by " + SpanText(now - from);
    }
    m_disabled = false;
    m_clockChanged = false;
    return gap;
}

void MissedRuns::RecordGap(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                           const Gap& gap) {
    const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
    const DATE horizonStart = gap.to - policies.missedRunsHorizonMinutes * 60.0 / kSecondsPerDay;
    DATE latestInHorizon = 0;
    int missed = 0;
    for (DATE run = NextRunAfter(*element.Task.Get(), gap.from + kOneSecond);
         IsBefore(run, gap.to) && missed < static_cast<int>(kKeptRunRecords);
         run = NextRunAfter(*element.Task.Get(), run + kOneSecond)) {
        engine.RunKeeper().KeepSkipped(element.Identity, run, RunReason::Schedule, gap.reason,
                                       L"late by " + SpanText(gap.to - run) + L": " + gap.cause);
        ++missed;
        if (policies.missedRuns == RunPolicies::MissedRuns::Once &&
            CompareDates(run, horizonStart) >= 0) {
            latestInHorizon = run;
        }
    }
    if (latestInHorizon > 0) {
        engine.QueueTaskForExecution(
            element.Task.Get(), CatchUpTicket(latestInHorizon, missed, L"(" + gap.cause + L")"));
    }
}

void MissedRuns::CatchUpAtStart(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                                DATE now) {
    const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
    if (policies.missedRuns != RunPolicies::MissedRuns::Once) {
        return;
    }
    const DATE horizonStart = now - policies.missedRunsHorizonMinutes * 60.0 / kSecondsPerDay;
    const DATE lastKnown = LastKnownOf(engine.GetWorkFolder(), element.Identity);
    const DATE from = lastKnown > horizonStart ? lastKnown : horizonStart;
    DATE latest = 0;
    int missed = 0;
    for (DATE run = NextRunAfter(*element.Task.Get(), from + kOneSecond);
         IsBefore(run, now) && missed < kLongestSearch;
         run = NextRunAfter(*element.Task.Get(), run + kOneSecond)) {
        latest = run;
        ++missed;
    }
    if (latest > 0) {
        engine.QueueTaskForExecution(element.Task.Get(),
                                     CatchUpTicket(latest, missed, L"while no scheduler ran"));
    }
}
