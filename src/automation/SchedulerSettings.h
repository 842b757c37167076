// The scheduler's settings in the registry (HKEY_LOCAL_MACHINE "Software\Kalvane\Scheduler")
// and the configuration document the scheduler object makes of them for its engine:
//
//   "Enable Logging"        REG_DWORD  0    -> LoggingEnabled
//   "Execution Queue Size"  REG_DWORD  50   -> MaxExecQueueSize
//   "Thread Pool Size"      REG_DWORD  5    -> WorkerThreadPoolSize
//   "WorkFolder"            REG_SZ     the library's folder followed by "Tasks" -> WorkFolder
//
// A value that is missing or unusable is replaced by its default, which is written back, so
// that the key always shows what the scheduler runs with. REG_EXPAND_SZ is accepted for the
// folder and not expanded. Whether a write-back succeeds is not looked at: the scheduler runs
// with the default either way.
//
// One owner thread per object; the key is closed when the object goes. Nothing here throws
// but out of memory.
#pragma once

#include <string>
#include <string_view>

#include "automation/RegistryKey.h"

class CSchedulerSettings {
public:
    static constexpr const wchar_t* kKeyPath = L"Software\\Kalvane\\Scheduler";
    static constexpr DWORD kDefaultLoggingEnabled = 0;
    static constexpr DWORD kDefaultExecQueueSize = 50;
    static constexpr DWORD kDefaultThreadPoolSize = 5;

    // Opens the key with read and write access, creating it when missing.
    LSTATUS Open();
    // Reads the three numbers, repairing each as needed.
    void ReadNumbers();
    // Reads the folder; when it must be replaced, the default is made from `libraryFile` (the
    // full path of the library's own file). False when that is needed and `libraryFile` is
    // empty.
    bool ReadWorkFolder(std::wstring_view libraryFile);

    // One element on one line, the folder XML-escaped.
    std::wstring ConfigurationDocument() const;

private:
    DWORD ReadNumber(const wchar_t* name, DWORD defaultValue);

    CRegistryKey m_key;
    DWORD m_loggingEnabled = kDefaultLoggingEnabled;
    DWORD m_execQueueSize = kDefaultExecQueueSize;
    DWORD m_threadPoolSize = kDefaultThreadPoolSize;
    std::wstring m_workFolder;
};

// The folder holding `libraryFile` followed by "Tasks"; a path without a folder is kept whole.
std::wstring DefaultWorkFolder(std::wstring_view libraryFile);
// `text` with the five characters that XML reserves written as entities.
std::wstring EscapeXml(std::wstring_view text);
