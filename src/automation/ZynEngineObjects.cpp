#include "automation/ZynEngineObjects.h"

#include "automation/ZynTask.h"
#include "execution/CoZynTaskProcessor.h"

IZynEngineObjectFactory& CZynEngineObjects::Instance() {
    static CZynEngineObjects instance;
    return instance;
}

ComPtr<IZynTask> CZynEngineObjects::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                               LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

// The one place where the worker pool's processors are made.
ComPtr<IZynTaskProcessor> CZynEngineObjects::CreateProcessor(
    CountedPtr<CZynTaskSchedulerThread> engine, LONG processorId) {
    return CoZynTaskProcessor::Create(std::move(engine), processorId);
}
