// What the client shows of a task's run records (IZynTask2::GetRunRecords): one line per
// record, the last run in the task list, the JSON objects of --json, and the captured output.
// Stateless; failures to ask the task throw AppFailure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"

struct RunEntry {
    std::wstring due;  // empty for a run asked for now
    std::wstring queued;
    std::wstring started;
    std::wstring ended;
    std::wstring reason;
    std::wstring outcome;
    std::wstring skipped;
    std::wstring detail;
    std::optional<unsigned long> exitCode;
    std::optional<int> signal;
    std::optional<std::string> output;  // none when it was not captured
};

// The newest `count` records of the task (0: all kept), newest first.
std::vector<RunEntry> TaskRunRecords(IZynTask& task, unsigned count);

// "due <TAB> started <TAB> duration <TAB> outcome <TAB> reason", "-" for what is not known.
std::wstring RecordLine(const RunEntry& entry);
// The outcome with its exit status or signal, why the run was skipped and the detail.
std::wstring OutcomeText(const RunEntry& entry);
// True when both entries are the record of one run (or of one run that did not happen).
bool SameRun(const RunEntry& one, const RunEntry& other);
// The started (or due) time and the outcome without its detail, as the task list shows the
// last run.
std::wstring LastRunText(const RunEntry& entry);
// The record as a JSON object.
std::string RecordJson(const RunEntry& entry);
