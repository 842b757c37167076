// The client's own scheduler object for one command. Without a work folder it only reads
// documents (validation, descriptions, run times). Opened on a work folder it sees the tasks
// there and, when no other process holds the folder, holds it itself for the command's
// duration, so that what it changes is written through the scheduler; when another process
// (the daemon) holds the folder, the client reads and places files and that process picks the
// changes up. The scheduler is never enabled here: the client runs nothing on schedule.
// Failures throw AppFailure. One thread; everything is released by the destructor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "common/SchedulerLibrary.h"

class SchedulerSession {
public:
    explicit SchedulerSession(const SchedulerLibrary& library)
        : m_scheduler(library.CreateScheduler()) {}

    // Points the scheduler at the existing folder `workFolder`, with task logs read when
    // `loggingEnabled`.
    void OpenFolder(const std::wstring& workFolder, bool loggingEnabled);
    const std::wstring& WorkFolder() const { return m_workFolder; }
    // Whether another process holds the work folder, and which (0 when it cannot be told).
    bool HeldElsewhere() const { return m_heldElsewhere; }
    DWORD HolderProcessId() const { return m_holderProcessId; }
    // "the scheduler in process N holds F", for the lines that tell a person what to do.
    std::wstring HolderText() const;

    // A task made from `document`: checked as the scheduler checks documents, and, when this
    // session holds the work folder, stored there.
    ComPtr<IZynTask> CreateTask(const std::wstring& document);
    // The task of the work folder with that identity or schedule name.
    ComPtr<IZynTask> FindTask(const std::wstring& identityOrName);
    std::vector<ComPtr<IZynTask>> Tasks();
    // The document file, the log file and the run records file of a task of the work folder.
    std::wstring TaskFile(const std::wstring& identity) const;
    std::wstring TaskLogFile(const std::wstring& identity) const;
    std::wstring RunRecordsFile(const std::wstring& identity) const;

private:
    ComPtr<IZynTasks> Collection();

    ComPtr<IZynTaskScheduler> m_scheduler;
    std::wstring m_workFolder;
    bool m_heldElsewhere = false;
    DWORD m_holderProcessId = 0;
};

// Texts of a task through its interface.
std::wstring TaskIdentity(IZynTask& task);
std::wstring TaskDocument(IZynTask& task);
// The next run from now; 0 when there is none.
DATE NextRunTime(IZynTask& task);

// One run of a task as its scheduler makes it.
struct TaskRun {
    std::int64_t at = 0;   // microseconds since 1970-01-01 00:00 UTC; 0: no further run
    DATE localTime = 0;    // the local time it comes at
    LONG utcOffset = 0;    // of that local time, in minutes east of UTC
    DATE skippedTime = 0;  // the local time the schedule names, when the clock skips it
};
// The task's first run after the moment `after` (microseconds since 1970-01-01 00:00 UTC).
TaskRun RunAfter(IZynTask& task, std::int64_t after);
