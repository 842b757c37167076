#include "zyntask/SchedulerSession.h"

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "common/AppFailure.h"
#include "common/AutomationCall.h"
#include "common/FolderHolder.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

// The client runs at most the one task `run` asks for, and that one itself.
constexpr int kClientWorkerThreads = 1;

std::wstring ConfigurationDocument(const std::wstring& workFolder, bool loggingEnabled) {
    std::wstring document = L"<TaskScheduler WorkFolder='";
    AppendXmlEscaped(document, workFolder);
    return document + FormatText(96, L"' LoggingEnabled='%d' WorkerThreadPoolSize='%d'/>",
                                 loggingEnabled ? 1 : 0, kClientWorkerThreads);
}

}  // namespace

void SchedulerSession::OpenFolder(const std::wstring& workFolder, bool loggingEnabled) {
    FileStatus status;
    if (QueryFileStatus(workFolder, status, true) != ERROR_SUCCESS || !status.isDirectory) {
        throw AppFailure{L"there is no work folder " + workFolder +
                         L"; start zyntaskd on it first, or name another with --work-folder"};
    }
    CheckCall(
        m_scheduler->put_Config(CBstr(ConfigurationDocument(workFolder, loggingEnabled)).Get()),
        L"opening the work folder " + workFolder);
    m_workFolder = workFolder;
    const WorkFolderLock::HolderInfo holder = FolderHolder::Of(workFolder);
    m_holderProcessId = holder.processId;
    m_heldElsewhere = holder.held && holder.processId != GetCurrentProcessId();
}

std::wstring SchedulerSession::HolderText() const {
    return FolderHolder::Describe(m_holderProcessId) + L" holds " + m_workFolder;
}

ComPtr<IZynTask> SchedulerSession::CreateTask(const std::wstring& document) {
    ComPtr<IZynTask> task;
    const CVariantHolder omitted;
    CheckCall(m_scheduler->CreateTask(omitted, task.Receive()), L"creating a task");
    // Set apart from the creation, so that a refusal reports the document's own fault.
    CheckCall(task->put_Xml(CBstr(document).Get()), L"checking the task document");
    return task;
}

ComPtr<IZynTask> SchedulerSession::FindTask(const std::wstring& identityOrName) {
    ComPtr<IZynTask> task;
    if (CheckCall(Collection()->GetTask(CBstr(identityOrName).Get(), task.Receive()),
                  L"looking for " + identityOrName) != S_OK ||
        !task) {
        throw AppFailure{L"no task " + identityOrName + L" in " + m_workFolder};
    }
    return task;
}

std::vector<ComPtr<IZynTask>> SchedulerSession::Tasks() {
    const ComPtr<IZynTasks> collection = Collection();
    std::vector<ComPtr<IZynTask>> tasks;
    for (;;) {
        IZynTask* next = nullptr;
        ULONG count = 0;
        CheckCall(collection->Next(1, &next, &count), L"listing the tasks");
        if (count == 0) {
            return tasks;
        }
        tasks.push_back(ComPtr<IZynTask>::Attach(next));
    }
}

std::wstring SchedulerSession::TaskFile(const std::wstring& identity) const {
    return JoinPath(m_workFolder, identity + kTaskDocumentExtension);
}

std::wstring SchedulerSession::TaskLogFile(const std::wstring& identity) const {
    return JoinPath(JoinPath(m_workFolder, kWorkFolderLogsFolderName),
                    identity + kTaskDocumentExtension);
}

std::wstring SchedulerSession::RunRecordsFile(const std::wstring& identity) const {
    return JoinPath(JoinPath(m_workFolder, kWorkFolderLogsFolderName),
                    identity + kRunRecordsExtension);
}

ComPtr<IZynTasks> SchedulerSession::Collection() {
    ComPtr<IZynTasks> collection;
    CheckCall(m_scheduler->get_tasks(collection.Receive()),
              L"reading the tasks of " + m_workFolder);
    return collection;
}

std::wstring TaskIdentity(IZynTask& task) {
    CBstr identity;
    CheckCall(task.get_Guid(identity.Receive()), L"reading a task's identity");
    return std::wstring(identity.View());
}

std::wstring TaskDocument(IZynTask& task) {
    CBstr document;
    CheckCall(task.get_Xml(document.Receive()), L"reading a task's document");
    return std::wstring(document.View());
}

DATE NextRunTime(IZynTask& task) {
    CVariantHolder now;
    DATE next = 0;
    CheckCall(task.GetNextRunTime(now, &next), L"computing the next run");
    return next;
}

TaskRun RunAfter(IZynTask& task, std::int64_t after) {
    ComPtr<IZynTaskRuns> runs;
    CheckCall(task.QueryInterface(IID_IZynTaskRuns, reinterpret_cast<void**>(runs.Receive())),
              L"asking a task for its runs");
    TaskRun run;
    CheckCall(runs->GetRunAfter(after, &run.at, &run.localTime, &run.utcOffset, &run.skippedTime),
              L"computing the next run");
    return run;
}
