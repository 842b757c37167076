// Scheduler configuration documents as the engine reads them before applying one.
#include "engine/SchedulerConfiguration.h"
#include "fuzz/FuzzSupport.h"
#include "platform/ComError.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareFuzzProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const std::optional<SchedulerConfiguration> settings =
            ReadSchedulerConfiguration(FuzzText(data, size));
        if (settings) {
            FuzzCheck(settings->workerThreadPoolSize > 0, "some task processors are made");
            FuzzCheck(settings->maxExecQueueSize.value_or(1) > 0, "the queue takes some tasks");
        }
    } catch (const ComError&) {
        // refused, with its message
    }
    return 0;
}
