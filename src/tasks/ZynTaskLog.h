// The task log document of one task: a small XML file in the log folder, named by the task's
// identity, that records the task's name, the state of its triggers as of the last schedule
// computation and the times of its last runs. Made on the spot by whoever writes or reads the
// log and dropped right afterwards.
//
// Many threads and processes may write one task's log at once: every update holds the task's
// named mutex ("LogMutex" followed by the identity, the same name in every process) from
// reading the file to saving it, so concurrent writers never lose each other's change. The
// mutex is usable only by those who may write the log folder, and an update waits for it at
// most 2 s: past that the update is skipped (and logged) and the next cycle writes the log
// again. The file is replaced atomically but not flushed to disk: it is rewritten at every
// cycle.
//
// The object owns its mutex handle. The updates contain their own failures: each is logged as
// "CZynTaskLog::<member> failed..." under the source "CZynTaskLog" and goes no further, so a
// task run or schedule computation never fails because of its log. A file that is not a log
// document is left as it is. ReadLogXml answers E_FAIL when the file cannot be read.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/NamedMutex.h"
#include "platform/XmlDocument.h"
#include "tasks/ZynTaskTrigger.h"

// How many run times the history keeps, the newest ones.
inline constexpr std::size_t kKeptRunTimes = 50;

class CZynTaskLog {
public:
    // Creates `folder` when missing and opens the task's mutex for it. Without a folder, an
    // identity, the folder itself or the mutex, no file is named and every update fails.
    CZynTaskLog(std::wstring_view folder, std::wstring_view taskGuid);
    CZynTaskLog(const CZynTaskLog&) = delete;
    CZynTaskLog& operator=(const CZynTaskLog&) = delete;

    // Sets the TaskLog element's Name attribute.
    void LogName(std::wstring_view taskName);
    // Replaces the Triggers element with one Trigger entry per trigger, in list order.
    void LogTaskStatus(const ZynTriggerList& triggers);
    // Appends a run time to the history, which keeps the newest kKeptRunTimes of them.
    void LogLastRunTime(DATE when);
    // The file's whole text; E_FAIL when it cannot be read. Never creates the file.
    HRESULT ReadLogXml(std::wstring& text);

private:
    class MutexHold;

    // These run with the task's mutex held.
    bool LogFileExists() const;
    void CreateLogFile() const;
    HRESULT WriteLogXml(std::wstring_view text) const;
    // The document as it is on disk, created first when there is none.
    XmlDocument LoadLogDocument();
    // Runs `change` on the loaded document and saves it, all under the mutex and the guard.
    template <class Change>
    void Update(const wchar_t* member, Change&& change);

    std::wstring m_bstrFileName;  // empty when no file could be named
    std::wstring m_bstrTaskGuid;
    std::unique_ptr<NamedMutex> m_pMutex;  // null when it could not be opened
};
