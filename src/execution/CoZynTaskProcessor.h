// How the engine makes its task processors: a CZynTaskProcessor bound to the engine and its
// identifier, with its worker thread resumed. Processors made by a class factory instead have
// no engine and never run. Thread-safe; throws a bare HRESULT when the object or its thread
// cannot be made (the factory contract of IZynEngineObjectFactory).
#pragma once

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"
#include "engine/ZynTaskSchedulerThread.h"

class CoZynTaskProcessor {
public:
    CoZynTaskProcessor() = delete;

    // The processor takes over the engine reference.
    static ComPtr<IZynTaskProcessor> Create(CountedPtr<CZynTaskSchedulerThread> engine,
                                            LONG processorId);
};
