// The system's own message texts (FormatMessage), without their line break.
#include "platform/SystemMessage.h"

#include <windows.h>

namespace {

std::wstring SystemText(DWORD code) {
    LPWSTR text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    std::wstring result(text != nullptr ? text : L"", length);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) {
        result.pop_back();
    }
    return result;
}

}  // namespace

std::wstring SystemMessageText(DWORD errorCode) {
    return SystemText(errorCode);
}

std::wstring HResultSystemText(HRESULT hr) {
    return SystemText(static_cast<DWORD>(hr));
}
