// The agent log: every record of the process goes, as one event record, into the log file that
// all agent processes on the machine share. It filters by the registry's severity mask
// (re-read at most once a minute, or at once when the shared change counter moves), rotates
// the file by size, and serialises every write across processes with a named mutex. An
// environment override can widen the filter and copy records to standard error or to a plain
// install log.
//
// The mutex and the change counter are shared with the accounts that may write the log folder
// and nobody else. When one cannot be opened (another account squatted its name, say) the log
// goes on: without the mutex each record is still one append, serialised within the process,
// so no account can silence the log by taking the name; without the counter a settings change
// is seen within the minute. The first record written then says so, once.
//
// The process's log is made on first use (Instance) and shut down by an exit routine; a record
// written after that ends the process, since it would be lost silently. Tests make their own
// instances. Write may be called from any thread and never fails or throws to its caller: a
// record that cannot be written is dropped.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NamedMutex.h"
#include "platform/SharedMemory.h"
#include "support/AgentLogFiles.h"
#include "support/AgentLogRecord.h"
#include "support/AgentLogSettings.h"
#include "support/LogSink.h"

class CAgentLog final : public LogSink {
public:
    CAgentLog();
    ~CAgentLog() override;
    CAgentLog(const CAgentLog&) = delete;
    CAgentLog& operator=(const CAgentLog&) = delete;

    // The process's log, made on first use.
    static CAgentLog& Instance();

    void Write(DWORD severity, const wchar_t* source, const wchar_t* message) override;
    bool Accepts(DWORD severity) override;
    // Stops writing and waits (up to 2 s) for writers already inside.
    void Shutdown();

    const std::wstring& FilePath() const { return m_files.FilePath(); }

private:
    class MutexHold;

    AgentLogLimits RefreshLimits();
    bool Keeps(DWORD severity, const AgentLogLimits& limits) const;
    bool ChangeCounterMoved();
    void CopyToInstallLog(DWORD severity, const wchar_t* source, const wchar_t* message);
    void CopyToConsole(DWORD severity, const wchar_t* source, const wchar_t* message);
    void WriteToFile(DWORD severity, const wchar_t* source, const wchar_t* message,
                     const AgentLogLimits& limits);
    // One record at the end of the file; false when it could not be written. Mutex held.
    bool AppendRecord(DWORD severity, const wchar_t* source, const wchar_t* message);
    // Tells, in the file, how many records could not be written since the last one that was,
    // once a write succeeds again. Mutex held.
    void ReportLostRecords();
    // Opens the mutex and the change counter for the log folder, noting what could not be had.
    void OpenSharedObjects();
    void NoteOpenFailure(const wchar_t* what, const wchar_t* name, const wchar_t* consequence);
    // Tells, in the file and once, which shared objects could not be opened. Mutex held.
    void ReportOpenFailures();
    DWORD ReadOverride();

    std::unique_ptr<NamedMutex> m_mutex;  // null when it could not be opened
    std::recursive_mutex m_processLock;   // stands in for the mutex while it is null
    std::unique_ptr<SharedMemory> m_changeCounter;
    std::atomic<std::uint32_t> m_lastCounterValue{0};
    std::atomic<DWORD> m_severityMask{7};
    std::atomic<DWORD> m_maxSizeKb{100};
    std::atomic<DWORD> m_maxFiles{20};
    std::atomic<DWORD> m_nextRefresh{0};
    std::atomic<bool> m_enabled{false};
    std::atomic<int> m_inFlight{0};
    // Records of this process that failed to reach the file (a full disk, a folder that cannot
    // be made, the mutex not had in time) since the last report of them.
    std::atomic<DWORD> m_lostRecords{0};
    std::vector<std::wstring> m_openFailures;  // made by the constructor, read-only afterwards
    std::atomic<bool> m_openFailuresReported{false};
    DWORD m_override = kNoAgentLogOverride;
    bool m_consoleEnabled = false;
    std::wstring m_hostName;
    std::wstring m_processName;
    std::wstring m_moduleName;
    std::wstring m_installLogPath;
    CAgentLogFiles m_files;
    CAgentLogRecord m_record;  // used only while the mutex is held
};
