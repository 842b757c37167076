// The object a host creates first: it owns one scheduler engine, reads the scheduler's
// settings from the registry and hands the engine its configuration (Start), switches it on
// and off (Enabled, Stop), and makes task objects (CreateTask) and task collections (tasks)
// bound to its engine. AddTask stores a task object's document in the work folder again.
//
// Free-threaded; the object has no lock of its own: enabling, disabling and configuring are
// serialized by the engine's main lock. Task objects and collections hold their own references
// to the engine, so it outlives this object while any of them lives; the final release of this
// object shuts the engine down (threads stopped, work-folder lock released).
//
// Failures reach the caller as the HRESULT and an error record (CLSID_ZynTaskScheduler,
// IID_IZynTaskScheduler); guard messages are logged under "CZynTaskScheduler", the object's
// own progress and configuration messages under "Task Scheduler". Start reports its own
// failures and lets nothing escape either.
#pragma once

#include <span>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "support/ComObject.h"
#include "support/DispatchImpl.h"
#include "support/SupportErrorInfo.h"

class CZynTaskScheduler : public CObjectRoot,
                          public CDispatchImpl<IZynTaskScheduler, CZynTaskScheduler>,
                          public CSupportErrorInfo<IID_IZynTaskScheduler> {
public:
    using Interfaces = InterfaceTable<Implements<IID_IZynTaskScheduler, IZynTaskScheduler>,
                                      Implements<IID_IDispatch, IDispatch, IZynTaskScheduler>,
                                      Implements<IID_ISupportErrorInfo, ISupportErrorInfo>>;

    // Makes the engine, disabled and without configuration.
    CZynTaskScheduler();
    void FinalRelease();

    static std::span<const DispatchMember<IZynTaskScheduler>> DispatchMembers();

    HRESULT get_tasks(IZynTasks** pVal) override;
    HRESULT get_Config(BSTR* pVal) override;
    HRESULT put_Config(BSTR newVal) override;
    // With no argument, a task with a fresh identity and no document; any other argument is
    // taken as the task's document text.
    HRESULT CreateTask(VARIANT vXml, IZynTask** ppTask) override;
    HRESULT AddTask(IZynTask* pTask) override;
    HRESULT get_Enabled(VARIANT_BOOL* pVal) override;
    // VARIANT_TRUE enables (S_FALSE when another process holds the work folder); any other
    // value disables.
    HRESULT put_Enabled(VARIANT_BOOL newVal) override;
    HRESULT Start() override;
    HRESULT Stop() override;

private:
    template <class Body>
    HRESULT Guarded(const wchar_t* member, Body&& body);
    HRESULT StartFromSettings();

    CountedPtr<CZynTaskSchedulerThread> m_engine;
};
