// The engine's maker of the objects that live above it, as the scheduler library ships it:
// task objects for its task lists and task processors for its worker pool. One instance serves
// every engine of the process. Stateless and thread-safe; failures are thrown as the factory
// contract says.
#pragma once

#include "engine/ZynEngineObjectFactory.h"

class CZynEngineObjects final : public IZynEngineObjectFactory {
public:
    static IZynEngineObjectFactory& Instance();

    ComPtr<IZynTask> CreateTask(CountedPtr<CZynTaskSchedulerThread> engine, LONG taskFlag) override;
    ComPtr<IZynTaskProcessor> CreateProcessor(CountedPtr<CZynTaskSchedulerThread> engine,
                                              LONG processorId) override;
};
