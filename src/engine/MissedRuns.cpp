#include "engine/MissedRuns.h"

#include <algorithm>
#include <iterator>

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "engine/ZynRunPolicySource.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/SuspendTime.h"
#include "support/MethodGuard.h"
#include "tasks/RunRecordFile.h"

// Every member runs under the engine's main lock, which its callers hold: the analysis cannot
// follow the engine through a reference, so the functions that ask it say so.

namespace {

constexpr wchar_t kClassName[] = L"MissedRuns";
constexpr const wchar_t* kSource = CZynTaskSchedulerThread::kThreadName;
// Suspended for less than this, the machine is taken not to have slept.
constexpr std::chrono::milliseconds kShortestSleep{1000};
// Runs looked through at most, per task, for the last one missed within its horizon.
constexpr int kLongestSearch = 100000;

// Written digit by digit into the text being built: a gap of a day at ten thousand tasks writes
// ten thousand of these on the scheduler thread, and the formatting functions of the C library
// and temporary strings cost more than the rest.
void AppendNumber(std::wstring& text, long long number) {
    wchar_t digits[24];
    wchar_t* first = std::end(digits);
    do {
        *--first = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number > 0);
    text.append(first, static_cast<std::size_t>(std::end(digits) - first));
}

// A span of real time (microseconds) in the two largest units it holds at least two of.
void AppendSpan(std::wstring& text, RealTime span) {
    const long long seconds =
        std::max<RealTime>(0, (span + kMicrosecondsPerSecond / 2) / kMicrosecondsPerSecond);
    struct Unit {
        long long seconds;
        const wchar_t* name;
    };
    static constexpr Unit kUnits[] = {{86400, L" d"}, {3600, L" h"}, {60, L" min"}, {1, L" s"}};
    for (std::size_t i = 0; i < std::size(kUnits); ++i) {
        if (seconds >= 2 * kUnits[i].seconds || kUnits[i].seconds == 1) {
            AppendNumber(text, seconds / kUnits[i].seconds);
            text += kUnits[i].name;
            if (i + 2 < std::size(kUnits)) {
                text += L' ';
                AppendNumber(text, seconds % kUnits[i].seconds / kUnits[i + 1].seconds);
                text += kUnits[i + 1].name;
            }
            return;
        }
    }
}

std::wstring LateText(RealTime lateness, const std::wstring& cause) {
    std::wstring text;
    text.reserve(32 + cause.size());
    text += L"late by ";
    AppendSpan(text, lateness);
    text += L": ";
    text += cause;
    return text;
}

GuardNames Names(const wchar_t* member) {
    return GuardNames{kClassName, member};
}

struct Missed {
    RealTime latest = 0;  // 0: none
    int count = 0;
};

// The task's runs after `from` up to `to`, each found after the one before as the scheduler
// finds them.
Missed RunsBetween(CZynTaskSchedulerThread& engine, CZynTaskListElement& element, RealTime from,
                   RealTime to) NO_THREAD_SAFETY_ANALYSIS {
    Missed missed;
    for (ScheduledRun run = engine.NextRunOf(element, from);
         run.IsRun() && run.at <= to && missed.count < kLongestSearch;
         run = engine.NextRunOf(element, run.at)) {
        missed.latest = run.at;
        ++missed.count;
    }
    return missed;
}

// Since when the task can have missed runs without a scheduler to tell: its newest record, or
// without one, the writing of its document.
std::optional<WallClock::TimePoint> LastKnownOf(const std::wstring& workFolder,
                                                const std::wstring& identity) {
    const std::vector<RunRecord> newest =
        RunRecordFile(JoinPath(workFolder, kWorkFolderLogsFolderName), identity).Read(1);
    if (!newest.empty()) {
        const RunRecord& record = newest.front();
        return record.ended ? record.ended : record.started ? record.started : record.due;
    }
    FileStatus status;
    if (QueryFileStatus(JoinPath(workFolder, identity + kTaskDocumentExtension), status) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return WallClock::TimePoint(std::chrono::duration_cast<WallClock::TimePoint::duration>(
        std::chrono::nanoseconds(status.modifiedNanoseconds)));
}

RunTicket CatchUpTicket(WallClock::TimePoint due, int missed, const std::wstring& since) {
    RunTicket ticket;
    ticket.due = due;
    ticket.reason = RunReason::CatchUp;
    ticket.detail = std::to_wstring(missed) + (missed == 1 ? L" run" : L" runs") + L" missed " +
                    since + L", the last shown as due";
    return ticket;
}

}  // namespace

void MissedRuns::Look(CZynTaskSchedulerThread& engine, CZynTasksList& list, const Span& span,
                      bool corrected) {
    const bool firstLook = !m_started;
    m_started = true;
    Gap gap;
    gap.from = std::max(span.lastLook, m_handledUpTo);
    gap.to = span.searchStart;
    gap.now = span.now;
    // Set, not raised: after a clock corrected back, the search starts before what was dealt
    // with on the old line.
    m_handledUpTo = span.searchStart;
    TakeCause(gap, corrected);
    if (!firstLook && (span.lastLook == 0 || gap.to <= gap.from)) {
        return;
    }
    for (list.MoveFirst(); auto element = list.GetCurrent(); list.MoveNext()) {
        if (firstLook) {
            CatchUpAtStart(engine, *element, span.now);
        } else {
            RecordGap(engine, *element, gap);
        }
    }
    HandOver(engine);
}

void MissedRuns::HandOver(CZynTaskSchedulerThread& engine) {
    if (!m_records.empty()) {
        engine.RunKeeper().Keep(std::exchange(m_records, {}));
    }
}

// The cause is the same for every task found late at one look.
void MissedRuns::RecordLate(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                            RealTime now) {
    if (m_lateCauseAt != now) {
        m_lateCauseAt = now;
        TakeCause(m_lateCause, false);
    }
    Gap gap = m_lateCause;
    gap.from = element.NextRunTime - 1;
    gap.to = now;
    gap.now = now;
    RecordGap(engine, element, gap);
}

// Looked at in this order: a disabled scheduler, a machine that slept, a clock corrected;
// otherwise the scheduler thread was held up.
void MissedRuns::TakeCause(Gap& gap, bool corrected) {
    const std::chrono::milliseconds suspended = TimeSuspendedSinceBoot();
    const bool slept = suspended - m_suspendedAtLastLook >= kShortestSleep;
    m_suspendedAtLastLook = suspended;
    gap.reason = SkipReason::Late;
    gap.cause = L"the scheduler thread was held up";
    if (m_disabled) {
        gap.reason = SkipReason::SchedulerDisabled;
        gap.cause = L"the scheduler was disabled";
    } else if (slept) {
        gap.cause = L"the machine was suspended";
    } else if (corrected) {
        gap.reason = SkipReason::ClockCorrected;
        gap.cause = L"the clock was corrected forward by ";
        AppendSpan(gap.cause, gap.to - gap.from);
    }
    m_disabled = false;
}

// The records stop at as many as the task's file keeps; the catch-up looks further, for the
// last run missed within the horizon.
void MissedRuns::RecordGap(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                           const Gap& gap) {
    GuardAndLog(Names(L"RecordGap"), kSource, [&]() NO_THREAD_SAFETY_ANALYSIS {
        std::size_t recorded = 0;
        for (ScheduledRun run = engine.NextRunOf(element, gap.from);
             run.IsRun() && run.at <= gap.to && recorded < kKeptRunRecords;
             run = engine.NextRunOf(element, run.at), ++recorded) {
            m_records.emplace_back(
                element.Identity,
                SkippedRunRecord(engine.Clock().ReadingAt(run.at), RunReason::Schedule, gap.reason,
                                 LateText(gap.now - run.at, gap.cause)));
        }
        const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
        if (recorded == 0 || policies.missedRuns != RunPolicies::MissedRuns::Once) {
            return;
        }
        const RealTime horizonStart =
            gap.now - RealTime{policies.missedRunsHorizonMinutes} * kMicrosecondsPerMinute;
        const Missed missed =
            RunsBetween(engine, element, std::max(gap.from, horizonStart - 1), gap.to);
        if (missed.count > 0) {
            engine.QueueCatchUp(element, CatchUpTicket(engine.Clock().ReadingAt(missed.latest),
                                                       missed.count, L"(" + gap.cause + L")"));
        }
    });
}

void MissedRuns::CatchUpAtStart(CZynTaskSchedulerThread& engine, CZynTaskListElement& element,
                                RealTime now) {
    GuardAndLog(Names(L"CatchUpAtStart"), kSource, [&]() NO_THREAD_SAFETY_ANALYSIS {
        const RunPolicies policies = RunPoliciesOf(*element.Task.Get());
        if (policies.missedRuns != RunPolicies::MissedRuns::Once) {
            return;
        }
        RealTime from =
            now - RealTime{policies.missedRunsHorizonMinutes} * kMicrosecondsPerMinute - 1;
        if (const auto lastKnown = LastKnownOf(engine.GetWorkFolder(), element.Identity)) {
            from = std::max(from, engine.Clock().MomentOf(*lastKnown));
        }
        const Missed missed = RunsBetween(engine, element, from, now);
        if (missed.count > 0) {
            engine.QueueCatchUp(element, CatchUpTicket(engine.Clock().ReadingAt(missed.latest),
                                                       missed.count, L"while no scheduler ran"));
        }
    });
}
