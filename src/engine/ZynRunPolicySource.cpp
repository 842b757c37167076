#include "engine/ZynRunPolicySource.h"

#include "ZynTaskSchedulerLib/ComPtr.h"

RunPolicies RunPoliciesOf(IZynTask& task) {
    ComPtr<IZynRunPolicySource> source;
    if (FAILED(task.QueryInterface(IID_IZynRunPolicySource,
                                   reinterpret_cast<void**>(source.Receive())))) {
        return {};
    }
    return source->GetRunPolicies();
}
