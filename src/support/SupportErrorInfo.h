// ISupportErrorInfo for a class whose one dual interface sets error records: S_OK for that
// interface, S_FALSE for every other. Stateless.
#pragma once

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Unknown.h"

template <const IID& Iid>
class CSupportErrorInfo : public ISupportErrorInfo {
public:
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == Iid ? S_OK : S_FALSE;
    }
};
