#include "common/AutomationCall.h"

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/Runtime.h"
#include "common/AppFailure.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"

HRESULT CheckCall(HRESULT hr, std::wstring_view action) {
    if (SUCCEEDED(hr)) {
        return hr;
    }
    const std::wstring description = TakeErrorDescription(hr);
    throw AppFailure{FormatText(action.size() + description.size() + 32, L"%ls: 0x%08X %ls",
                                std::wstring(action).c_str(), static_cast<unsigned>(hr),
                                description.c_str())};
}

std::wstring TakeErrorDescription(HRESULT hr) {
    ComPtr<IErrorInfo> record;
    CBstr description;
    if (GetErrorInfo(0, record.Receive()) == S_OK && record &&
        SUCCEEDED(record->GetDescription(description.Receive())) && description.Length() > 0) {
        return std::wstring(description.View());
    }
    return HResultText(hr);
}
