// A snapshot of the tasks in the scheduler's work folder that a client counts, indexes,
// enumerates (IZynTasks, or IEnumUnknown for the standard enumeration) and searches by
// identity or schedule name. The collection keeps its own task list on the engine, reloaded
// from the folder by Reset only; every task it hands out is a task object of that list, with
// one reference for the caller.
//
// A clone (get__NewEnum, Clone) shares the task list and the lock that guards it with its
// source and starts at the source's position; each has its own position. The shared part lives
// as long as any of them.
//
// Free-threaded: the members serialize on the shared lock, which is taken before the engine's
// main lock (the list takes that one inside). Failures: Count, _NewEnum and Item log under
// "Task Scheduler" and set an error record (CLSID_ZynTasks, IID_IZynTasks); Next, Reset and
// GetTask log under "CZynTasks" and set none; Skip cannot fail. A collection made through the
// class factory has no engine and no list: it counts 0 and hands out nothing.
#pragma once

#include <memory>
#include <span>

#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/ZynTaskSchedulerThread.h"
#include "engine/ZynTasksList.h"
#include "support/AtlCriticalSection.h"
#include "support/ComObject.h"
#include "support/DispatchImpl.h"
#include "support/SupportErrorInfo.h"
#include "support/ThreadAnnotations.h"

class CZynTasks : public CObjectRoot,
                  public CDispatchImpl<IZynTasks, CZynTasks>,
                  public CSupportErrorInfo<IID_IZynTasks>,
                  public IEnumUnknown {
public:
    using Interfaces = InterfaceTable<Implements<IID_IZynTasks, IZynTasks>,
                                      Implements<IID_IDispatch, IDispatch, IZynTasks>,
                                      Implements<IID_IEnumUnknown, IEnumUnknown>,
                                      Implements<IID_ISupportErrorInfo, ISupportErrorInfo>>;

    CZynTasks();
    // Takes over the engine's reference; the list is loaded and the position is 0.
    explicit CZynTasks(CountedPtr<CZynTaskSchedulerThread> engine);

    static std::span<const DispatchMember<CZynTasks>> DispatchMembers();

    // IZynTasks
    HRESULT get_Count(LONG* pVal) override;
    HRESULT get__NewEnum(IEnumUnknown** pVal) override;
    HRESULT get_Item(LONG index, IZynTask** pTask) override;
    // S_OK also when fewer than `n` were left; `Count` (may be null) tells how many.
    HRESULT Next(ULONG n, IZynTask** tasks, ULONG* Count) override;
    HRESULT Skip(ULONG n) override;
    HRESULT Reset() override;
    HRESULT GetTask(BSTR bstrId, IZynTask** ppTask) override;

    // IEnumUnknown: the same walk, handing out the tasks' IZynTask pointers.
    HRESULT Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override;
    HRESULT Clone(IEnumUnknown** ppenum) override;

private:
    friend class CComInstance<CZynTasks>;

    struct SharedList {
        CAtlCriticalSection lock;
        std::unique_ptr<CZynTasksList> list;  // null for a collection without engine
    };

    // A clone: the same engine and list, at `position`.
    CZynTasks(CountedPtr<CZynTaskSchedulerThread> engine, std::shared_ptr<SharedList> shared,
              ULONG position);

    static std::shared_ptr<SharedList> MakeSharedList(
        const CountedPtr<CZynTaskSchedulerThread>& engine);
    // A late-bound caller passes one VARIANT for the tasks, a slot for one task at most.
    HRESULT NextThroughDispatch(ULONG n, IZynTask** task, ULONG* count);
    template <class Slot>
    HRESULT NextInto(ULONG n, Slot** slots, ULONG* count);
    ComPtr<IZynTask> TaskAt(ULONG position) EXCLUSIVE_LOCKS_REQUIRED(m_lock);
    HRESULT MakeClone(IEnumUnknown** clone);

    CountedPtr<CZynTaskSchedulerThread> m_engine;
    const std::shared_ptr<SharedList> m_shared;
    CAtlCriticalSection& m_lock;
    CZynTasksList* const m_list;
    ULONG m_position GUARDED_BY(m_lock) = 0;
};

using CoZynTasks = CComInstance<CZynTasks>;

// A collection on `engine`, loaded from its work folder.
ComPtr<IZynTasks> MakeZynTasks(CountedPtr<CZynTaskSchedulerThread> engine);
