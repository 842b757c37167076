#include "engine/RunInProgress.h"

#include "engine/ZynRunKeeper.h"
#include "tasks/RunPolicies.h"

namespace {

void AddDetail(std::wstring& detail, std::wstring_view more) {
    if (!more.empty()) {
        detail += (detail.empty() ? L"" : L"; ") + std::wstring(more);
    }
}

}  // namespace

RunInProgress::RunInProgress(CountedPtr<CZynRunKeeper> keeper, std::wstring identity,
                             RunTicket ticket, WallClock::TimePoint started)
    : m_keeper(std::move(keeper)),
      m_identity(std::move(identity)),
      m_ticket(std::move(ticket)),
      m_started(started) {}

void RunInProgress::MarkEndedByTimeLimit() {
    const std::lock_guard lock(m_mutex);
    m_timeLimitPassed = true;
}

void RunInProgress::MarkReplaced() {
    const std::lock_guard lock(m_mutex);
    m_replaced = true;
}

void RunInProgress::NoteEnd(LONG status) {
    const std::lock_guard lock(m_mutex);
    if (!m_reportedStatus) {
        m_reportedStatus = status;
        m_reportedAt = WallClock::CurrentTime();
    }
}

std::optional<LONG> RunInProgress::ReportedStatus() {
    const std::lock_guard lock(m_mutex);
    return m_reportedStatus;
}

bool RunInProgress::IsFinished() {
    const std::lock_guard lock(m_mutex);
    return m_finished;
}

// A run is marked before it is cancelled, and the cancel is what ends it: the mark is there
// when its end comes.
void RunInProgress::Finish(RunEnd end) {
    Marks marks;
    {
        const std::lock_guard lock(m_mutex);
        if (m_finished) {
            return;
        }
        m_finished = true;
        marks = {m_timeLimitPassed, m_replaced, m_reportedAt};
    }
    m_keeper->Keep(m_identity, RecordOf(std::move(end), marks));
    m_keeper->RunEnded(*this);
}

RunRecord RunInProgress::RecordOf(RunEnd end, Marks marks) const {
    RunRecord record;
    record.due = m_ticket.due;
    record.queued = m_ticket.queued;
    record.started = m_started;
    record.ended = marks.ended.value_or(WallClock::CurrentTime());
    record.reason = m_ticket.reason;
    record.outcome = end.outcome;
    record.exitCode = end.exitCode;
    record.signal = end.signal;
    record.output = std::move(end.output);
    record.outputBytes = end.outputBytes;
    AddDetail(record.detail, m_ticket.detail);
    AddDetail(record.detail, end.detail);
    if (end.outcome == RunOutcome::Cancelled && marks.timeLimitPassed) {
        record.outcome = RunOutcome::TimeLimit;
        AddDetail(record.detail, L"ran longer than its time limit of " +
                                     MinutesText(m_ticket.timeLimitMinutes.value_or(0)));
    } else if (end.outcome == RunOutcome::Cancelled && marks.replaced) {
        AddDetail(record.detail, L"replaced by a newer run");
    }
    return record;
}
