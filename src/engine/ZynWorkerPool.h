// The engine's task processors, numbered from 0, and the calls the engine makes on them. Any
// thread may call any member; the worker lock is taken alone or inside the main lock, never
// together with the queue lock, and no processor is called while it is held: a call copies the
// processor's reference under the lock and is made after leaving it.
//
// Processors are let go of in two steps. DeleteAll takes them out of the pool at once (the
// engine does so under its main lock, while reconfiguring); ReleaseRetired drops them, and the
// caller must not hold the main lock then: a processor's final release waits for its worker
// thread, which may itself be waiting for the main lock.
#pragma once

#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "support/AtlCriticalSection.h"
#include "support/ThreadAnnotations.h"

class CZynWorkerPool {
public:
    enum class Control : DWORD { Stop = 0, Pause = 1, Resume = 2 };
    using ProcessorMaker = std::function<ComPtr<IZynTaskProcessor>(LONG id)>;

    // Makes processors 0 to count - 1 (an id already present keeps its processor).
    void Create(DWORD count, const ProcessorMaker& make);
    // Takes every processor out of the pool, in ascending id, for ReleaseRetired to drop.
    void DeleteAll();
    // Drops the processors DeleteAll took out. Not under the main lock (see above).
    void ReleaseRetired();
    // Stops, pauses or resumes every processor; a failing one is logged under `logSource` and
    // the others go on. The result of the last call.
    HRESULT ControlAll(Control mode, const wchar_t* logSource);
    // Whether processor `id` answers that it runs the task.
    bool IsRunning(LONG id, std::wstring_view identity);
    // Asks processor `id` to cancel the task; S_OK when there is no such processor.
    HRESULT Cancel(LONG id, std::wstring_view identity);
    std::size_t Count();

private:
    using Workers = std::map<LONG, ComPtr<IZynTaskProcessor>>;

    ComPtr<IZynTaskProcessor> Find(LONG id);
    Workers Snapshot();

    CAtlCriticalSection m_lock;
    Workers m_workers GUARDED_BY(m_lock);
    std::vector<ComPtr<IZynTaskProcessor>> m_retired GUARDED_BY(m_lock);
};
