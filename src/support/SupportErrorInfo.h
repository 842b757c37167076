// ISupportErrorInfo for a class whose dual interfaces set error records: S_OK for those
// interfaces (a class may serve several versions of one), S_FALSE for every other. Stateless.
#pragma once

#include "ZynTaskSchedulerLib/HResults.h"
#include "ZynTaskSchedulerLib/Unknown.h"

template <const IID&... Iids>
class CSupportErrorInfo : public ISupportErrorInfo {
public:
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return ((riid == Iids) || ...) ? S_OK : S_FALSE;
    }
};
