// The engine's task processors, numbered from 0, and the calls the engine makes on them. Any
// thread may call any member; the worker lock is taken alone or inside the main lock, never
// together with the queue lock. Processors are released outside the worker lock, since a
// processor's final release waits for its thread.
#pragma once

#include <functional>
#include <map>
#include <string_view>

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
    // Releases every processor, in ascending id.
    void DeleteAll();
    // Stops, pauses or resumes every processor; a failing one is logged under `logSource` and
    // the others go on. The result of the last call.
    HRESULT ControlAll(Control mode, const wchar_t* logSource);
    // Whether processor `id` answers that it runs the task.
    bool IsRunning(LONG id, std::wstring_view identity);
    // Asks processor `id` to cancel the task; S_OK when there is no such processor.
    HRESULT Cancel(LONG id, std::wstring_view identity);
    std::size_t Count();

private:
    ComPtr<IZynTaskProcessor> Find(LONG id);

    CAtlCriticalSection m_lock;
    std::map<LONG, ComPtr<IZynTaskProcessor>> m_workers GUARDED_BY(m_lock);
};
