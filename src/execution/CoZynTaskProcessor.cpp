#include "execution/CoZynTaskProcessor.h"

#include "execution/ZynTaskProcessor.h"

ComPtr<IZynTaskProcessor> CoZynTaskProcessor::Create(CountedPtr<CZynTaskSchedulerThread> engine,
                                                     LONG processorId) {
    ComPtr<CComInstance<CZynTaskProcessor>> processor;
    const HRESULT hr = CComInstance<CZynTaskProcessor>::Make(processor, std::move(engine),
                                                             static_cast<DWORD>(processorId));
    if (FAILED(hr)) {
        throw hr;
    }
    processor->StartWorker();
    return ComPtr<IZynTaskProcessor>(static_cast<IZynTaskProcessor*>(processor.Get()));
}
