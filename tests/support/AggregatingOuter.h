// An outer object for aggregation tests: it hands every interface but IUnknown to the inner
// object it holds and counts the references passed on to it, so that a test can tell that the
// inner object's interfaces count for the outer one and that its IUnknown is the outer's.
#pragma once

#include <atomic>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Unknown.h"

class AggregatingOuter final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return ++count; }
    ULONG Release() override { return --count; }

    ComPtr<IUnknown> inner;
    std::atomic<ULONG> count{1};
};
