#include "zyntaskd/ZynTaskDaemon.h"

#include <cstdio>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "common/AppFailure.h"
#include "common/AutomationCall.h"
#include "common/ComRuntime.h"
#include "common/FolderHolder.h"
#include "common/SchedulerLibrary.h"
#include "common/WorkFolderSafety.h"
#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/ServiceManager.h"
#include "platform/SystemMessage.h"
#include "platform/TerminationSignals.h"
#include "platform/Wait.h"
#include "platform/WideText.h"

namespace {

// The agent log's override field that copies every record to the console.
constexpr unsigned long kCopyToConsole = 0x04000000;

void Say(const std::wstring& line) {
    std::fprintf(stderr, "zyntaskd: %s\n", WideToUtf8(line).c_str());
}

}  // namespace

int ZynTaskDaemon::Run() {
    if (m_options.foreground) {
        CopyAgentLogToConsole();
    }
    const auto signals = TerminationSignals::Create();
    if (!signals) {
        throw AppFailure{L"cannot wait for signals: " + SystemMessageText(GetLastError())};
    }
    const ComRuntime runtime;
    const std::wstring workFolder =
        m_options.settings.workFolder.value_or(SchedulerSettingsStore::WorkFolder());
    m_options.settings.workFolder = workFolder;
    SchedulerSettingsStore::Write(m_options.settings);
    WorkFolderSafety::Prepare(workFolder);

    const SchedulerLibrary library = SchedulerLibrary::BesideProgram();
    library.EnsureRegistered();
    ComPtr<IZynTaskScheduler> scheduler = library.CreateScheduler();
    if (CheckCall(scheduler->Start(), L"starting the scheduler on " + workFolder) == S_FALSE) {
        throw AppFailure{FolderHolder::Describe(FolderHolder::Of(workFolder).processId) +
                         L" holds the work folder " + workFolder +
                         L"; stop it first, or give this one another folder with --work-folder"};
    }
    const std::wstring running =
        FormatText(128 + workFolder.size(), L"running the tasks of %ls as process %u",
                   workFolder.c_str(), GetCurrentProcessId());
    Say(running);
    ServiceManager::NotifyReady(running);
    WaitOne(*signals, INFINITE);
    Say(signals->LastSignalName() + L": stopping");
    ServiceManager::NotifyStopping(L"stopping");
    CheckCall(scheduler->Stop(), L"stopping the scheduler");
    return 0;
}

void ZynTaskDaemon::CopyAgentLogToConsole() {
    bool found = false;
    const std::wstring current = GetEnvironmentText(kAgentLogOverrideVariable, found);
    const unsigned long fields = found ? std::wcstoul(current.c_str(), nullptr, 16) : 0;
    SetEnvironmentText(kAgentLogOverrideVariable,
                       FormatText(16, L"%08lX", fields | kCopyToConsole));
    SetEnvironmentText(kAgentLogConsoleVariable, L"1");
}
