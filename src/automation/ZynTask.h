// The automation face of one scheduled task: a task definition paired with the engine that
// owns the work folder. Clients read and set its identity and document (setting the document
// stores the task file), ask for its next run time, whether it is due and which trigger fires
// next, list its runs ahead (IZynTaskRuns), read its log, run it at once, cancel it and delete
// it; through IZynTask2 (which its IDispatch serves) they read its run records and run policies.
// The engine asks it, through IZynRunSchedule, for its next run and whether a next run computed
// before still holds, and through IZynRunPolicySource for its run policies. Every run is
// computed one way, on the engine's clock.
//
// Free-threaded: every member but CancelTask works under the engine's main lock, so a task
// method never sees a half-updated task list or configuration (GetRunRecords reads the records
// file after leaving it); ScheduleRevision, NextRunAfter and GetRunPolicies, which the scheduler
// thread asks of tasks at every cycle, expect their caller to hold it. Failures reach
// the caller as the HRESULT and an error record (CLSID_ZynTask, IID_IZynTask) and are logged under
// "CZynTask". A task made through the class factory has no engine: every member then answers
// E_UNEXPECTED.
#pragma once

#include <cstdint>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/ZynRunPolicySource.h"
#include "engine/ZynRunSchedule.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "support/ComObject.h"
#include "support/DispatchImpl.h"
#include "support/SupportErrorInfo.h"
#include "tasks/ZynTaskImpl.h"

class CZynTask : public CObjectRoot,
                 public CDispatchImpl<IZynTask2, CZynTask>,
                 public CSupportErrorInfo<IID_IZynTask, IID_IZynTask2>,
                 public IZynRunSchedule,
                 public IZynTaskRuns,
                 public IZynRunPolicySource {
public:
    using Interfaces =
        InterfaceTable<Implements<IID_IZynTask, IZynTask>, Implements<IID_IZynTask2, IZynTask2>,
                       Implements<IID_IDispatch, IDispatch, IZynTask2>,
                       Implements<IID_ISupportErrorInfo, ISupportErrorInfo>,
                       Implements<IID_IZynRunSchedule, IZynRunSchedule>,
                       Implements<IID_IZynTaskRuns, IZynTaskRuns>,
                       Implements<IID_IZynRunPolicySource, IZynRunPolicySource>>;

    CZynTask() = default;
    // The engine's reference moves into the object; the new definition gets `taskFlag`.
    CZynTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag);

    static std::span<const DispatchMember<IZynTask2>> DispatchMembers();

    HRESULT get_Guid(BSTR* pVal) override;
    HRESULT put_Guid(BSTR newVal) override;
    HRESULT get_Xml(BSTR* pVal) override;
    HRESULT put_Xml(BSTR newVal) override;
    HRESULT GetNextRunTime(VARIANT CurrentDate, DATE* NextRunTime) override;
    HRESULT IsDue(VARIANT LastRunDate, VARIANT CurrentDate, VARIANT_BOOL* Due) override;
    HRESULT DeleteTask() override;
    HRESULT ExecuteTask() override;
    HRESULT GetNextTriggerIndex(LONG* lTriggerIdx) override;
    HRESULT get_Log(BSTR* pVal) override;
    HRESULT CancelTask() override;
    HRESULT GetRunRecords(LONG Count, BSTR* Records) override;
    HRESULT get_RunPolicies(BSTR* pVal) override;

    std::uint64_t ScheduleRevision() override;
    HRESULT NextRunAfter(RealTime after, ScheduledRun* run) override;
    RunPolicies GetRunPolicies() override;

    HRESULT GetRunAfter(std::int64_t After, std::int64_t* At, DATE* LocalTime, LONG* UtcOffset,
                        DATE* SkippedTime) override;

private:
    template <class Body>
    HRESULT Guarded(const wchar_t* member, Body&& body);
    void RequireEngine() const;
    std::wstring TaskFilePath() const;
    std::wstring LogFolder() const;
    void ReloadFromFile();
    // After the definition took a document (or may have).
    void NoteDocument();

    CountedPtr<CZynTaskSchedulerThread> m_engine;
    CountedPtr<CZynTaskImpl> m_definition;
    // Counts the documents the definition took: the schedule's revision. Kept under the
    // engine's main lock.
    std::uint64_t m_documents = 1;
};

// Late-bound calls hand task arguments over as IZynTask (AddTask).
template <>
struct InterfaceIdentity<IZynTask> {
    static constexpr const IID& iid = IID_IZynTask;
};

// A task object bound to `engine`, as the library makes them.
ComPtr<IZynTask> MakeZynTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag);
