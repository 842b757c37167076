// The scheduler's settings in the registry (HKEY_LOCAL_MACHINE\Software\Kalvane\Scheduler),
// which the scheduler object reads when it starts: the programs write what their options say
// and read the work folder and the task-log switch back. Values never set keep the scheduler's
// own defaults, except the work folder, which defaults to the agent's state folder rather than
// the folder of the library file. Failures throw AppFailure naming the registry root.
// One thread at a time.
#pragma once

#include <optional>
#include <string>

#include "ZynTaskSchedulerLib/Types.h"

struct SchedulerOptions {
    std::optional<std::wstring> workFolder;
    std::optional<DWORD> threadPoolSize;
    std::optional<DWORD> executionQueueSize;
    std::optional<bool> loggingEnabled;
};

class SchedulerSettingsStore {
public:
    // Writes every option that is set; refuses when the registry root cannot be written.
    static void Write(const SchedulerOptions& options);
    // The stored work folder, or the default when none is stored.
    static std::wstring WorkFolder();
    static bool LoggingEnabled();
    // "tasks" in the agent's state folder (/var/lib/zyntask/tasks for root).
    static std::wstring DefaultWorkFolder();

private:
    static void WriteValue(const wchar_t* name, DWORD type, const void* data, DWORD size);
};
