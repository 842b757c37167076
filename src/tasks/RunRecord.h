// What one run of a task leaves behind, and what a run that should have happened and did not
// leaves in its place: when it was due, queued, started and ended, why it ran, how it ended
// (exit status, signal, cancel, time limit, a start that failed, or only the status a handler
// reported), why it did not run, and the tail of what it wrote. Records are kept per task in a
// file of their own beside the task log (RunRecordFile); this is their form in that file, an
// XML element per record:
//
//   <Run Reason="schedule" Outcome="exited" ExitCode="3" Due="2026-12-06T02:00:00.000+01:00"
//        Queued="..." Started="..." Ended="..." OutputBytes="1234"><Output>base64</Output></Run>
//   <Run Reason="schedule" Outcome="skipped" Skipped="late" Detail="late by 7 s" Due="..."/>
//
// Times are local with their offset from UTC and milliseconds. An attribute that is absent is
// not known (a handler plug-in tells no exit status and captures no output). Values only; no
// state, thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WallClock.h"
#include "platform/XmlDocument.h"

enum class RunReason { Schedule, RunNow, CatchUp };

enum class RunOutcome {
    Exited,       // the program ended by itself: ExitCode
    Signalled,    // a signal we did not send ended it: Signal
    Cancelled,    // cancelled (the program's exit code is 20)
    TimeLimit,    // ended because it ran past its time limit
    StartFailed,  // never started: Detail says why
    Completed,    // a handler reported completion; nothing more is known
    Failed,       // a handler reported failure
    Ended,        // a handler reported another status: Detail says which
    Skipped,      // did not run: SkipReason and Detail say why
};

enum class SkipReason {
    Late,
    AlreadyRunning,
    AlreadyQueued,
    QueueFull,
    SchedulerDisabled,
    FileNotTrusted,
    ClockCorrected,
    SchedulerStopped,
};

struct RunRecord {
    using TimePoint = WallClock::TimePoint;

    std::optional<TimePoint> due;  // none for a run asked for now
    std::optional<TimePoint> queued;
    std::optional<TimePoint> started;
    std::optional<TimePoint> ended;
    RunReason reason = RunReason::Schedule;
    RunOutcome outcome = RunOutcome::Skipped;
    std::optional<DWORD> exitCode;
    std::optional<int> signal;
    std::optional<SkipReason> skipped;
    std::wstring detail;
    std::optional<std::string> output;  // the last bytes written; none when not captured
    std::uint64_t outputBytes = 0;      // every byte written, kept or not
};

// The record of a run that did not happen.
RunRecord SkippedRunRecord(std::optional<RunRecord::TimePoint> due, RunReason reason,
                           SkipReason skipped, std::wstring detail);

const wchar_t* RunReasonName(RunReason reason);
const wchar_t* RunOutcomeName(RunOutcome outcome);
const wchar_t* SkipReasonName(SkipReason reason);

// Appends the record to `parent` as a Run element.
void AppendRunRecord(const XmlNode& parent, const RunRecord& record);
// The record of a Run element; what does not read stays unknown.
RunRecord ReadRunRecord(const XmlNode& run);
