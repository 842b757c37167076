// The definition behind every task: its identity (a GUID in registry form), its task document
// and the triggers read from it, the document file in the work folder kept in step with that
// text, and the next run computed over the triggers. The task log's trigger states are written
// when a computation changes them.
//
// Counted (CCERefCountBase) and held by CountedPtr; it owns its triggers and keeps a counted
// reference to the engine that owns its work folder. It has no lock of its own: every caller
// holds the engine's main lock. SetXml, GetXml, SetGuid, CalculateTriggersNextRunTime and
// GetNextTriggerIndex log a failure as "CZynTaskImpl::<member> failed..." and raise it
// (ComError); a refused document leaves the held document and triggers as they were. The file
// operations answer HRESULTs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WallTimeline.h"
#include "support/RefCountBase.h"
#include "tasks/RunPolicies.h"
#include "tasks/ScheduledRun.h"
#include "tasks/ZynTaskEngine.h"
#include "tasks/ZynTaskLogFileWriter.h"
#include "tasks/ZynTaskLogWriter.h"
#include "tasks/ZynTaskTrigger.h"

class CZynTaskImpl : public CCERefCountBase {
public:
    // Takes over the caller's engine reference. `taskLogFlag` asks for the task log to be kept;
    // it is, through `taskLog` (by default the task log documents of the work folder), while
    // the engine holds its work folder with logging on. `taskLog` must outlive the task.
    CZynTaskImpl(CountedPtr<IZynTaskEngine> engine, LONG taskLogFlag,
                 IZynTaskLogWriter& taskLog = CZynTaskLogFileWriter::Instance());

    // Parses and checks the document, then adopts it with its triggers.
    HRESULT SetXml(std::wstring_view text);
    // The held document with each trigger's Description attribute written; empty when none.
    std::wstring GetXml() const;
    // Sets the identity, once; it must be a GUID in braced registry form.
    HRESULT SetGuid(std::wstring_view identity);
    std::wstring GetGuid() const { return m_guid; }
    const std::wstring& GetTaskName() const { return m_taskName; }
    const ZynTriggerList& GetTriggers() const { return m_triggers; }
    const RunPolicies& GetRunPolicies() const { return m_runPolicies; }

    // Whether the document file was written since last seen (false when it cannot be read).
    bool IsFileChanged(std::wstring_view path);
    // Reads the file into SetXml unless it is unchanged since the held document came from it.
    HRESULT LoadXmlFromFile(std::wstring_view path);
    // Writes the held document durably; E_FAIL when that fails.
    HRESULT SaveXmlToFile(std::wstring_view path) const;
    // S_OK when the file is gone afterwards, E_FAIL when it could not be deleted.
    HRESULT DeleteTaskFile(std::wstring_view path) const;

    // Computes every enabled trigger's next run after the moment `after`; the earliest of them
    // (ties keep the earlier trigger), or none when no trigger runs again.
    ScheduledRun CalculateTriggersNextRunTime(RealTime after, const WallTimeline& timeline);
    // Position of the trigger with the earliest next run of the last computation; -1 for none.
    LONG GetNextTriggerIndex() const;

private:
    // Hands the task name (when `withName`) and `triggers` to the task log, when one is kept.
    void UpdateTaskLog(const ZynTriggerList& triggers, bool withName) const;

    std::wstring m_guid;
    std::wstring m_taskName;
    std::wstring m_xml;
    std::uint64_t m_fileTime = 0;  // local file time of the document file, as last seen
    LONG m_taskLogFlag;
    CountedPtr<IZynTaskEngine> m_engine;
    ZynTriggerList m_triggers;
    RunPolicies m_runPolicies;
    IZynTaskLogWriter& m_taskLog;
};
