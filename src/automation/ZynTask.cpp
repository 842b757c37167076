#include "automation/ZynTask.h"

#include <cfloat>

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "automation/OptionalArgument.h"
#include "automation/PointerChecks.h"
#include "engine/TaskFileName.h"
#include "platform/MemoryProbe.h"
#include "platform/Path.h"
#include "platform/WallClock.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/ScopedLock.h"
#include "support/ThrowError.h"
#include "tasks/RunRecordFile.h"
#include "tasks/ScheduleArithmetic.h"
#include "tasks/ZynTaskLog.h"

namespace {

const AutomationIdentity kIdentity{IID_IZynTask, kProgIdZynTask, L"CZynTask"};
constexpr std::size_t kMessageCapacity = 4096;

BSTR Copy(std::wstring_view text) {
    return CBstr(text).Detach();
}

// The value converted to a date, the argument itself left as the caller gave it.
HRESULT ToDate(const VARIANT& value, DATE& date) {
    CVariantHolder converted;
    HRESULT hr = converted.CopyFrom(value);
    if (SUCCEEDED(hr)) {
        hr = converted.ChangeType(VT_DATE);
    }
    if (SUCCEEDED(hr)) {
        date = converted.date;
    }
    return hr;
}

}  // namespace

CZynTask::CZynTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag)
    : m_engine(std::move(engine)),
      m_definition(
          MakeCounted<CZynTaskImpl>(CountedPtr<IZynTaskEngine>(m_engine.Get()), taskFlag)) {}

template <class Body>
HRESULT CZynTask::Guarded(const wchar_t* member, Body&& body) {
    return GuardAutomationMethod({L"CZynTask", member}, kIdentity, std::forward<Body>(body));
}

void CZynTask::RequireEngine() const {
    if (!m_engine || !m_definition) {
        throw E_UNEXPECTED;
    }
}

std::wstring CZynTask::TaskFilePath() const {
    return JoinPath(m_engine->GetWorkFolder(), TaskFileName::Of(m_definition->GetGuid()));
}

std::wstring CZynTask::LogFolder() const {
    return JoinPath(m_engine->GetWorkFolder(), kWorkFolderLogsFolderName);
}

// The file is the truth: a document changed on disk replaces the one held.
void CZynTask::ReloadFromFile() {
    const std::wstring path = TaskFilePath();
    if (FileExists(path)) {
        const HRESULT hr = m_definition->LoadXmlFromFile(path);
        if (FAILED(hr)) {
            throw ComError(hr);
        }
        NoteDocument();
    }
}

HRESULT CZynTask::get_Guid(BSTR* pVal) {
    return Guarded(L"get_Guid", [&] {
        CheckWritable(pVal, 8, L"Can't write to BSTR at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        const std::wstring identity = m_definition->GetGuid();
        *pVal = identity.empty() ? nullptr : Copy(identity);
    });
}

HRESULT CZynTask::put_Guid(BSTR newVal) {
    return Guarded(L"put_Guid", [&] {
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        m_definition->SetGuid(newVal == nullptr ? L"" : newVal);
        const std::wstring path = TaskFilePath();
        if (FileExists(path)) {
            m_definition->LoadXmlFromFile(path);  // a document that does not load shows later
            NoteDocument();
        }
    });
}

HRESULT CZynTask::get_Xml(BSTR* pVal) {
    return Guarded(L"get_Xml", [&] {
        RequireEngine();
        const bool writable = pVal != nullptr && IsWritableMemory(pVal, sizeof(BSTR));
        ScopedLock lock(m_engine->MainLock());
        std::wstring document;
        if (!m_definition->GetGuid().empty()) {
            ReloadFromFile();
            if (writable) {
                document = m_definition->GetXml();
            }
        }
        if (writable) {
            *pVal = Copy(document);
        }
    });
}

HRESULT CZynTask::put_Xml(BSTR newVal) {
    return Guarded(L"put_Xml", [&] {
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        const std::wstring text = newVal == nullptr ? L"" : newVal;
        XmlDocument document;
        std::wstring reason;
        if (!document.Load(text, reason)) {
            CEThrowError(E_FAIL, L"Failed to load task xml into XMLDOM. Error " + reason + L".");
        }
        std::wstring name;
        if (const XmlNode schedule = document.SelectSingle(L"//Schedule")) {
            const XmlNode nameAttribute = schedule.Attribute(L"Name");
            if (nameAttribute.IsNull()) {
                throw ComError(E_POINTER);
            }
            name = nameAttribute.Text();
        }
        const std::wstring identity = m_definition->GetGuid();
        if (m_engine->IsTaskNameTaken(name, identity)) {
            CEThrowError(E_FAIL, FormatText(kMessageCapacity,
                                            L"Failed to set task xml. Task %ls with name %ls "
                                            L"already exists",
                                            identity.c_str(), name.c_str()));
        }
        m_definition->SetXml(text);
        NoteDocument();
        if (m_engine->HasWorkFolderLock()) {
            m_definition->SaveXmlToFile(TaskFilePath());
        }
    });
}

HRESULT CZynTask::GetNextRunTime(VARIANT CurrentDate, DATE* NextRunTime) {
    return Guarded(L"GetNextRunTime", [&] {
        CheckWritable(NextRunTime, sizeof(DATE), L"Can't write to DATE at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        *NextRunTime = DBL_MAX;
        const WallTimeline& timeline = m_engine->Timeline();
        RealTime after = 0;
        if (IsOmitted(CurrentDate)) {
            after = m_engine->CurrentRealTime();
        } else {
            DATE reference = 0;
            if (const HRESULT hr = ToDate(CurrentDate, reference); FAILED(hr)) {
                CEThrowError(hr, L"VariantChangeType failed to convert date.");
            }
            WallTime wall = 0;
            if (!WallTimeOfDate(reference, wall)) {
                CEThrowError(E_FAIL, L"Failed to convert current system time to variant time.");
            }
            after = timeline.FirstShowing(wall);
        }
        const ScheduledRun run = m_definition->CalculateTriggersNextRunTime(after, timeline);
        *NextRunTime = run.IsRun() ? DateOfWallTime(timeline.WallAt(run.at)) : 0;
    });
}

HRESULT CZynTask::IsDue(VARIANT LastRunDate, VARIANT CurrentDate, VARIANT_BOOL* Due) {
    return Guarded(L"IsDue", [&] {
        CheckWritable(Due, sizeof(VARIANT_BOOL), L"Can't write to VARIANT_BOOL at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        *Due = VARIANT_FALSE;
        CVariantHolder lastRun;
        if (IsOmitted(LastRunDate)) {
            lastRun.vt = VT_DATE;
            lastRun.date = 0.0;
        } else {
            lastRun.CopyFrom(LastRunDate);
        }
        DATE next = 0;
        if (const HRESULT hr = GetNextRunTime(lastRun, &next); FAILED(hr)) {
            CETrace(CE_SEVERITY_WARNING, __FILE__, __LINE__, L"CE_FAILED_THROW_ERROR %x",
                    static_cast<unsigned>(hr));
            ComPtr<IErrorInfo> record;
            GetErrorInfo(0, record.Receive());
            throw ComError(hr, record);
        }
        DATE current = 0;
        if (IsOmitted(CurrentDate)) {
            if (!CurrentLocalDate(current)) {
                CE_FAILED_THROW_ERROR(E_UNEXPECTED);
            }
        } else {
            if (const HRESULT hr = ToDate(CurrentDate, current); FAILED(hr)) {
                CE_FAILED_THROW_ERROR(hr);
            }
        }
        const bool due = CompareDates(next, 0) > 0 && CompareDates(next, current) <= 0;
        *Due = due ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT CZynTask::DeleteTask() {
    return Guarded(L"DeleteTask", [&] {
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        if (!m_engine->HasWorkFolderLock()) {
            return;
        }
        const std::wstring taskFile = TaskFilePath();
        if (FileExists(taskFile)) {
            m_definition->DeleteTaskFile(taskFile);
        }
        const std::wstring identity = m_definition->GetGuid();
        const std::wstring logFile = JoinPath(LogFolder(), identity + L".xml");
        if (FileExists(logFile) && !DeleteFileEx(logFile, false)) {
            CEThrowError(E_FAIL, FormatText(kMessageCapacity,
                                            L"Failed to delete log file for task %ls failed to "
                                            L"convert date.",
                                            identity.c_str()));
        }
        RunRecordFile(LogFolder(), identity).Remove();
        m_engine->UpdateTaskList();
    });
}

HRESULT CZynTask::ExecuteTask() {
    return Guarded(L"ExecuteTask", [&] {
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        const std::wstring identity = m_definition->GetGuid();
        if (!m_engine->IsTaskAlreadyRunning(identity)) {
            m_engine->QueueTaskForExecution(this);
        } else {
            m_engine->RunKeeper().KeepSkipped(identity, std::nullopt, RunReason::RunNow,
                                              SkipReason::AlreadyRunning,
                                              L"the task was running when it was asked to run");
        }
    });
}

HRESULT CZynTask::GetNextTriggerIndex(LONG* lTriggerIdx) {
    return Guarded(L"GetNextTriggerIndex", [&] {
        CheckWritable(lTriggerIdx, sizeof(LONG), L"Can't write to long at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        *lTriggerIdx = -1;
        *lTriggerIdx = m_definition->GetNextTriggerIndex();
    });
}

HRESULT CZynTask::get_Log(BSTR* pVal) {
    return Guarded(L"get_Log", [&] {
        CheckWritable(pVal, sizeof(BSTR), L"Can't write to BSTR at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        std::wstring log;
        if (m_engine->IsLoggingEnabled()) {
            CZynTaskLog taskLog(JoinPath(m_engine->GetWorkFolder(), kWorkFolderLogsFolderName),
                                m_definition->GetGuid());
            taskLog.ReadLogXml(log);
        }
        *pVal = Copy(log);
    });
}

// The engine's lock is not taken here: a cancel must get through while the task's own
// methods are busy.
HRESULT CZynTask::CancelTask() {
    return Guarded(L"CancelTask", [&] {
        RequireEngine();
        std::wstring identity;
        {
            ScopedLock lock(m_engine->MainLock());
            identity = m_definition->GetGuid();
        }
        m_engine->CancelTask(identity);
    });
}

// The file is read after the engine's lock is left: it may hold a megabyte of output.
HRESULT CZynTask::GetRunRecords(LONG Count, BSTR* Records) {
    return Guarded(L"GetRunRecords", [&] {
        CheckWritable(Records, sizeof(BSTR), L"Can't write to BSTR at %x");
        RequireEngine();
        if (Count < 0) {
            CEThrowError(E_INVALIDARG, L"The count of records must not be negative.");
        }
        std::wstring folder;
        std::wstring identity;
        {
            ScopedLock lock(m_engine->MainLock());
            folder = LogFolder();
            identity = m_definition->GetGuid();
        }
        const std::size_t count = Count == 0 ? kKeptRunRecords : static_cast<std::size_t>(Count);
        *Records = Copy(RunRecordFile(folder, identity).ReadDocument(count));
    });
}

HRESULT CZynTask::get_RunPolicies(BSTR* pVal) {
    return Guarded(L"get_RunPolicies", [&] {
        CheckWritable(pVal, sizeof(BSTR), L"Can't write to BSTR at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        std::wstring lines;
        for (const std::wstring& line : m_definition->GetRunPolicies().Describe()) {
            lines += (lines.empty() ? L"" : L"\n") + line;
        }
        *pVal = Copy(lines);
    });
}

RunPolicies CZynTask::GetRunPolicies() {
    return m_definition ? m_definition->GetRunPolicies() : RunPolicies{};
}

std::uint64_t CZynTask::ScheduleRevision() {
    return m_engine && m_definition ? m_documents : 0;
}

HRESULT CZynTask::NextRunAfter(RealTime after, ScheduledRun* run) {
    return Guarded(L"GetNextRunTime", [&] {
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        *run = m_definition->CalculateTriggersNextRunTime(after, m_engine->Timeline());
    });
}

// Moments on the engine's line differ from UTC by what its clock was set by hand.
HRESULT CZynTask::GetRunAfter(std::int64_t After, std::int64_t* At, DATE* LocalTime,
                              LONG* UtcOffset, DATE* SkippedTime) {
    return Guarded(L"GetRunAfter", [&] {
        CheckWritable(At, sizeof(*At), L"Can't write to LONGLONG at %x");
        CheckWritable(LocalTime, sizeof(DATE), L"Can't write to DATE at %x");
        CheckWritable(UtcOffset, sizeof(LONG), L"Can't write to LONG at %x");
        CheckWritable(SkippedTime, sizeof(DATE), L"Can't write to DATE at %x");
        RequireEngine();
        ScopedLock lock(m_engine->MainLock());
        const WallTimeline& timeline = m_engine->Timeline();
        const std::int64_t shift = timeline.HandShift();
        const ScheduledRun run =
            m_definition->CalculateTriggersNextRunTime(After - shift, timeline);
        const WallTime wall = run.IsRun() ? timeline.WallAt(run.at) : 0;
        *At = run.IsRun() ? run.at + shift : 0;
        *LocalTime = run.IsRun() ? DateOfWallTime(wall) : 0;
        *UtcOffset =
            run.IsRun() ? static_cast<LONG>((wall - run.at - shift) / kMicrosecondsPerMinute) : 0;
        *SkippedTime = run.moved ? DateOfWallTime(run.named) : 0;
    });
}

// A definition refuses a document that does not load and keeps the one it had, so only one
// that was taken (or may have been) counts.
void CZynTask::NoteDocument() {
    ++m_documents;
}

// The members of the first version keep their DISPIDs in the second version's table.
std::span<const DispatchMember<IZynTask2>> CZynTask::DispatchMembers() {
    static constexpr DispatchMember<IZynTask2> kMembers[] = {
        DispatchInheritedPropertyGet<IZynTask2, &IZynTask::get_Guid, VT_BSTR>(L"Guid", 1),
        DispatchInheritedPropertyPut<IZynTask2, &IZynTask::put_Guid, In(VT_BSTR)>(L"Guid", 1),
        DispatchInheritedPropertyGet<IZynTask2, &IZynTask::get_Xml, VT_BSTR>(L"Xml", 2),
        DispatchInheritedPropertyPut<IZynTask2, &IZynTask::put_Xml, In(VT_BSTR)>(L"Xml", 2),
        DispatchInheritedMethod<IZynTask2, &IZynTask::GetNextRunTime, VT_DATE, Optional()>(
            L"GetNextRunTime", 3),
        DispatchInheritedMethod<IZynTask2, &IZynTask::IsDue, VT_BOOL, Optional(), Optional()>(
            L"IsDue", 4),
        DispatchInheritedMethod<IZynTask2, &IZynTask::DeleteTask, VT_EMPTY>(L"DeleteTask", 5),
        DispatchInheritedMethod<IZynTask2, &IZynTask::ExecuteTask, VT_EMPTY>(L"ExecuteTask", 6),
        DispatchInheritedMethod<IZynTask2, &IZynTask::GetNextTriggerIndex, VT_I4>(
            L"GetNextTriggerIndex", 7),
        DispatchInheritedPropertyGet<IZynTask2, &IZynTask::get_Log, VT_BSTR>(L"Log", 8),
        DispatchInheritedMethod<IZynTask2, &IZynTask::CancelTask, VT_EMPTY>(L"CancelTask", 9),
        DispatchMethod<&IZynTask2::GetRunRecords, VT_BSTR, In(VT_I4)>(L"GetRunRecords", 10),
        DispatchPropertyGet<&IZynTask2::get_RunPolicies, VT_BSTR>(L"RunPolicies", 11),
    };
    return kMembers;
}

ComPtr<IZynTask> MakeZynTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) {
    ComPtr<CComInstance<CZynTask>> task;
    const HRESULT hr = CComInstance<CZynTask>::Make(task, std::move(engine), taskFlag);
    if (FAILED(hr)) {
        throw hr;
    }
    return ComPtr<IZynTask>(static_cast<IZynTask*>(task.Get()));
}
