#include "support/AgentLog.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "platform/LastError.h"
#include "platform/ModuleFile.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/SystemMessage.h"
#include "platform/Wait.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "support/Folders.h"
#include "support/LogCall.h"

namespace {

constexpr DWORD kMutexWaitMs = 1000;
constexpr wchar_t kAgentLogSource[] = L"Agent Log";
constexpr DWORD kRefreshIntervalMs = 60000;
constexpr auto kShutdownPoll = std::chrono::milliseconds(50);
constexpr int kShutdownPolls = 40;
constexpr int kDestroyedExitCode = 50;
constexpr std::size_t kInstallLineCapacity = 8192;
constexpr char kUseAfterDestructionText[] =
    "\n*** ZYNUTILITY: ATTEMPTED TO USE ALREADY DESTROYED SINGLETON, PROCESS WILL BE TERMINATED "
    "***\n";

CAgentLogFiles MakeFiles() {
    const AgentLogLocation location = ReadAgentLogLocation();
    return CAgentLogFiles(location.folder, location.fileName);
}

std::wstring OwnModuleName() {
    static const int anchor = 0;
    return BaseName(ModuleFileOf(&anchor));
}

// Whether `value` is eight hexadecimal digits, and what they say.
bool ParseOverride(const std::wstring& text, DWORD& value) {
    if (text.size() != 8) {
        return false;
    }
    value = 0;
    for (wchar_t c : text) {
        const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                          : c >= L'A' && c <= L'F' ? c - L'A' + 10
                          : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                                   : -1;
        if (digit < 0) {
            return false;
        }
        value = (value << 4) | static_cast<DWORD>(digit);
    }
    return true;
}

bool TickPassed(DWORD now, DWORD deadline) {
    return static_cast<std::int32_t>(now - deadline) >= 0;
}

}  // namespace

// Holds the log for one write: the mutex shared with other processes, for at most
// kMutexWaitMs (a mutex whose owner died counts as held), or, without it, the process's lock.
class CAgentLog::MutexHold {
public:
    MutexHold(NamedMutex* mutex, std::recursive_mutex& processLock) : m_mutex(mutex) {
        if (m_mutex == nullptr) {
            m_processLock = std::unique_lock(processLock);
            m_held = true;
            return;
        }
        const DWORD result = m_mutex->Acquire(kMutexWaitMs);
        m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    ~MutexHold() {
        if (m_held && m_mutex != nullptr) {
            m_mutex->Release();
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

    bool Held() const { return m_held; }

private:
    NamedMutex* m_mutex;
    std::unique_lock<std::recursive_mutex> m_processLock;
    bool m_held = false;
};

CAgentLog::CAgentLog()
    : m_hostName(GetHostName()),
      m_processName(CurrentProcessImageName()),
      m_moduleName(OwnModuleName()),
      m_installLogPath(AgentInstallLogPath()),
      m_files(MakeFiles()) {
    OpenSharedObjects();
    AgentLogLimits limits;
    ReadAgentLogLimits(limits);
    m_severityMask = limits.severityMask;
    m_maxSizeKb = limits.maxSizeKb;
    m_maxFiles = limits.maxFiles;
    m_nextRefresh = GetTickCount() + kRefreshIntervalMs;
    m_override = ReadOverride();
    bool found = false;
    m_consoleEnabled = GetEnvironmentText(kAgentLogConsoleVariable, found) == L"1";
    ChangeCounterMoved();
    m_enabled = true;
}

CAgentLog::~CAgentLog() {
    Shutdown();
}

void CAgentLog::OpenSharedObjects() {
    const std::wstring& folder = m_files.Folder();
    if (folder.empty()) {
        return;  // nothing is written to a file, so there is nothing to share
    }
    CreateDirectoryPath(folder, kDefaultFolderMode, true);
    constexpr wchar_t kUnlocked[] =
        L"this process writes its records without the lock other processes share";
    const std::optional<ObjectAccess> access = ObjectAccess::ForFolder(folder);
    if (!access) {
        NoteOpenFailure(L"folder", folder.c_str(), kUnlocked);
        return;
    }
    m_mutex = NamedMutex::Open(kAgentLogMutexName, *access);
    if (!m_mutex) {
        NoteOpenFailure(L"mutex", kAgentLogMutexName, kUnlocked);
    }
    m_changeCounter =
        SharedMemory::Open(kAgentLogChangeCounterName, sizeof(std::uint32_t), *access);
    if (!m_changeCounter) {
        NoteOpenFailure(L"change counter", kAgentLogChangeCounterName,
                        L"settings changes are seen within a minute");
    }
}

void CAgentLog::NoteOpenFailure(const wchar_t* what, const wchar_t* name,
                                const wchar_t* consequence) {
    const DWORD error = GetLastError();
    m_openFailures.push_back(FormatText(kInstallLineCapacity,
                                        L"The agent log's %ls '%ls' could not be opened: %ls "
                                        L"(0x%08X); %ls",
                                        what, name, SystemMessageText(error).c_str(), error,
                                        consequence));
}

// The process's log lives in static storage and is destroyed by its exit routine (at exit, or
// when the library holding it is unloaded). The state word outlives it, so that a record
// arriving afterwards is refused loudly instead of touching a destroyed object.
namespace {

enum class LogState : int { None, Created, Destroyed };
std::atomic<LogState> g_logState{LogState::None};
alignas(CAgentLog) unsigned char g_logStorage[sizeof(CAgentLog)];

CAgentLog* ProcessLog() {
    return std::launder(reinterpret_cast<CAgentLog*>(g_logStorage));
}

[[noreturn]] void RefuseUseAfterDestruction() {
    std::fputs(kUseAfterDestructionText, stderr);
    std::_Exit(kDestroyedExitCode);
}

}  // namespace

CAgentLog& CAgentLog::Instance() {
    if (g_logState.load() == LogState::Destroyed) {
        RefuseUseAfterDestruction();
    }
    struct ExitRoutine {
        ExitRoutine() {
            new (g_logStorage) CAgentLog;
            g_logState = LogState::Created;
        }
        ~ExitRoutine() {
            ProcessLog()->~CAgentLog();
            g_logState = LogState::Destroyed;
        }
    };
    static ExitRoutine exitRoutine;  // made once, under the runtime's own lock
    return *ProcessLog();
}

// Children inherit the override as this process reads it.
DWORD CAgentLog::ReadOverride() {
    bool found = false;
    const std::wstring text = GetEnvironmentText(kAgentLogOverrideVariable, found);
    DWORD value = 0;
    if (!found || !ParseOverride(text, value)) {
        return kNoAgentLogOverride;
    }
    value &= kAgentLogOverrideMask;
    SetEnvironmentText(kAgentLogOverrideVariable, FormatText(16, L"%08X", value));
    return value;
}

void CAgentLog::Shutdown() {
    if (!m_enabled.exchange(false)) {
        return;
    }
    for (int poll = 0; poll < kShutdownPolls && m_inFlight.load() > 0; ++poll) {
        std::this_thread::sleep_for(kShutdownPoll);
    }
}

bool CAgentLog::ChangeCounterMoved() {
    if (!m_changeCounter) {
        return false;
    }
    const std::uint32_t value =
        std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(m_changeCounter->Address()))
            .load();
    return m_lastCounterValue.exchange(value) != value;
}

AgentLogLimits CAgentLog::RefreshLimits() {
    if (!m_enabled) {
        return AgentLogLimits{0, 0, 0};
    }
    const DWORD now = GetTickCount();
    if (ChangeCounterMoved() || TickPassed(now, m_nextRefresh)) {
        AgentLogLimits limits{m_severityMask, m_maxSizeKb, m_maxFiles};
        if (ReadAgentLogLimits(limits)) {
            m_severityMask = limits.severityMask;
            m_maxSizeKb = limits.maxSizeKb;
            m_maxFiles = limits.maxFiles;
        }
        m_nextRefresh = now + kRefreshIntervalMs;
    }
    return AgentLogLimits{m_severityMask, m_maxSizeKb, m_maxFiles};
}

void CAgentLog::Write(DWORD severity, const wchar_t* source, const wchar_t* message) {
    if (message == nullptr || *message == L'\0') {
        return;
    }
    const AgentLogLimits limits = RefreshLimits();
    if (!Keeps(severity, limits)) {
        return;
    }
    const DWORD effective = EffectiveSeverity(severity, m_override);
    const DWORD flags = EffectiveFlags(severity, m_override);
    if ((flags & kAgentLogCopyToInstallLog) != 0) {
        CopyToInstallLog(effective, source, message);
    }
    if ((flags & kAgentLogCopyToConsole) != 0) {
        CopyToConsole(effective, source, message);
    }
    if (source == nullptr || m_files.Folder().empty() || limits.maxFiles == 0 ||
        limits.maxSizeKb == 0) {
        return;
    }
    WriteToFile(effective, source, message, limits);
}

bool CAgentLog::Accepts(DWORD severity) {
    return Keeps(severity, RefreshLimits());
}

bool CAgentLog::Keeps(DWORD severity, const AgentLogLimits& limits) const {
    return PassesFilter(EffectiveSeverity(severity, m_override), limits.severityMask, m_override) &&
           (EffectiveFlags(severity, m_override) & kAgentLogSuppressAll) == 0;
}

void CAgentLog::WriteToFile(DWORD severity, const wchar_t* source, const wchar_t* message,
                            const AgentLogLimits& limits) {
    const MutexHold hold(m_mutex.get(), m_processLock);
    if (!hold.Held()) {
        ++m_lostRecords;
        return;
    }
    ++m_inFlight;
    const DWORD maxBytes = limits.maxSizeKb * 1024;  // 32-bit on purpose: the file format's rule
    const bool ready = CreateDirectoryPath(m_files.Folder(), kDefaultFolderMode, true) &&
                       m_files.PrepareForWrite(maxBytes, limits.maxFiles);
    if (ready) {
        ReportOpenFailures();
        ReportLostRecords();
    }
    if (!ready || !AppendRecord(severity, source, message)) {
        ++m_lostRecords;
    }
    --m_inFlight;
}

bool CAgentLog::AppendRecord(DWORD severity, const wchar_t* source, const wchar_t* message) {
    AgentLogEvent event;
    event.severity = severity;
    event.source = source;
    event.message = message;
    GetLocalTime(&event.localTime);
    event.biasMinutes = CurrentTimeZoneBias();
    event.hostName = m_hostName.c_str();
    event.moduleName = m_moduleName.c_str();
    event.processName = m_processName.c_str();
    event.processId = GetCurrentProcessId();
    event.threadId = GetCurrentThreadId();
    event.tickCount = GetTickCount();
    return m_files.Append(m_record.Build(event));
}

void CAgentLog::ReportLostRecords() {
    const DWORD lost = m_lostRecords.exchange(0);
    if (lost == 0) {
        return;
    }
    const std::wstring report =
        FormatText(128, L"%u records of this process could not be written to the agent log", lost);
    if (!AppendRecord(CE_SEVERITY_WARNING, kAgentLogSource, report.c_str())) {
        m_lostRecords += lost;
    }
}

void CAgentLog::ReportOpenFailures() {
    if (m_openFailures.empty() || m_openFailuresReported.exchange(true)) {
        return;
    }
    for (const std::wstring& failure : m_openFailures) {
        AppendRecord(CE_SEVERITY_WARNING, kAgentLogSource, failure.c_str());
    }
}

void CAgentLog::CopyToInstallLog(DWORD severity, const wchar_t* source, const wchar_t* message) {
    const MutexHold hold(m_mutex.get(), m_processLock);
    if (!hold.Held() ||
        !CreateDirectoryPath(ParentPath(m_installLogPath), kDefaultFolderMode, true)) {
        return;
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::wstring line =
        source == nullptr
            ? FormatText(kInstallLineCapacity,
                         L"%04d-%02d-%02d %02d:%02d:%02d P:%-6u T:%-6u %ls\r\n", now.wYear,
                         now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                         GetCurrentProcessId(), GetCurrentThreadId(), message)
            : FormatText(kInstallLineCapacity,
                         L"%04d-%02d-%02d %02d:%02d:%02d P:%-6u T:%-6u %ls %ls: %ls\r\n", now.wYear,
                         now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                         GetCurrentProcessId(), GetCurrentThreadId(), SeverityName(severity),
                         source, message);
    AppendToFile(m_installLogPath, WideToUtf8(line));
}

void CAgentLog::CopyToConsole(DWORD severity, const wchar_t* source, const wchar_t* message) {
    const MutexHold hold(m_mutex.get(), m_processLock);
    if (!hold.Held() || !m_consoleEnabled) {
        return;
    }
    const std::string line =
        WideToUtf8(FormatText(kInstallLineCapacity, L"%ls\t%ls\t\t%ls\r\n", SeverityName(severity),
                              source == nullptr ? L"" : source, message));
    std::fwrite(line.data(), 1, line.size(), stderr);
}
