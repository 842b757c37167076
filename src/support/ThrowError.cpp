#include "support/ThrowError.h"

#include <string>

#include "platform/SystemMessage.h"

namespace {

ComPtr<IErrorInfo> MakeRecord(const std::wstring& description) {
    ComPtr<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.Receive()))) {
        return {};
    }
    std::wstring text = description;
    creator->SetDescription(text.data());
    ComPtr<IErrorInfo> record;
    if (FAILED(
            creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(record.Receive())))) {
        return {};
    }
    return record;
}

}  // namespace

void CEThrowError(HRESULT hr, std::wstring_view message) {
    ThrowWithDescription(hr, std::wstring(message) + L" " + HResultText(hr));
}

void ThrowWithDescription(HRESULT hr, std::wstring_view description) {
    throw ComError(hr, MakeRecord(std::wstring(description)));
}
