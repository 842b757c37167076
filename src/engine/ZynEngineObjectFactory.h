// How the engine gets the objects of the layers above it: the task objects its task lists hold
// and the task processors of its worker pool. The scheduler object hands the engine a factory
// when it makes it; an engine without one (in tests) makes neither processors nor, from files,
// tasks. Implementations are stateless and thread-safe.
#pragma once

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "support/RefCountBase.h"

class CZynTaskSchedulerThread;

class IZynEngineObjectFactory {
public:
    // A new task object bound to `engine`, with the task-log flag of its definition. Throws a
    // bare HRESULT or a ComError when the object cannot be made.
    virtual ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                        LONG taskFlag) = 0;
    // A new task processor with the given identifier, its thread running. Throws as above.
    virtual ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread> engine,
                                                      LONG processorId) = 0;

protected:
    ~IZynEngineObjectFactory() = default;
};
