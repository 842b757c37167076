#include "platform/SystemMessage.h"

#include "ZynTaskSchedulerLib/HResults.h"
#include "platform/WideText.h"

namespace {

constexpr HRESULT kFirstAutomationCode = MakeHResult(0x80040200);
constexpr HRESULT kLastAutomationCode = MakeHResult(0x8004FFFF);

}  // namespace

std::wstring HResultText(HRESULT hr) {
    std::wstring text = HResultSystemText(hr);
    if (!text.empty()) {
        return text;
    }
    if (hr >= kFirstAutomationCode && hr <= kLastAutomationCode) {
        return FormatText(64, L"IDispatch error #%d", hr - kFirstAutomationCode);
    }
    return FormatText(64, L"Unknown error 0x%0lX",
                      static_cast<unsigned long>(static_cast<DWORD>(hr)));
}
