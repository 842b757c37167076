#include "automation/ZynEngineObjects.h"

#include "automation/ZynTask.h"

IZynEngineObjectFactory& CZynEngineObjects::Instance() {
    static CZynEngineObjects instance;
    return instance;
}

ComPtr<IZynTask> CZynEngineObjects::CreateTask(CountedPtr<CZynTaskSchedulerThread> engine,
                                               LONG taskFlag) {
    return MakeZynTask(std::move(engine), taskFlag);
}

// The one place where the worker pool's processors are made. Temporary state: the task
// processor class (execution/CoZynTaskProcessor) is not part of the library yet, so no processor
// is made; the pool skips what a factory does not make, and queued tasks wait. Once it is, this
// body is `return CoZynTaskProcessor::Create(std::move(engine), processorId);`.
ComPtr<IZynTaskProcessor> CZynEngineObjects::CreateProcessor(
    CountedPtr<CZynTaskSchedulerThread> /*engine*/, LONG /*processorId*/) {
    return {};
}
