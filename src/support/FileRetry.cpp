#include "support/FileRetry.h"

#include <atomic>
#include <string>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"
#include "support/LogCall.h"

namespace {

std::atomic<long long> g_pauseMilliseconds{FileRetry::kDefaultPause.count()};

}  // namespace

DWORD FileRetry::Run(const wchar_t* operation, std::wstring_view path,
                     const std::function<DWORD()>& attempt) {
    const DWORD firstError = attempt();
    if (firstError == ERROR_SUCCESS || !IsTransientFileError(firstError)) {
        return firstError;
    }
    const std::wstring pathText(path);
    const std::wstring errorText = SystemMessageText(firstError);
    CEReportEventFormat(CE_SEVERITY_TRACE, L"FileOperation",
                        L"Failed to perform file operation '%ls' on '%ls': %ls (0x%08X). Will "
                        L"proceed with retries",
                        operation, pathText.c_str(), errorText.c_str(), firstError);
    for (int retry = 0; retry < kRetries; ++retry) {
        Sleep(static_cast<DWORD>(g_pauseMilliseconds.load()));
        if (attempt() == ERROR_SUCCESS) {
            return ERROR_SUCCESS;
        }
    }
    CEReportEventFormat(CE_SEVERITY_ERROR, L"FileOperation",
                        L"Failed to perform file operation '%ls' on '%ls' with retries: %ls "
                        L"(0x%08X)",
                        operation, pathText.c_str(), errorText.c_str(), firstError);
    return firstError;
}

void FileRetry::SetPause(std::chrono::milliseconds pause) {
    g_pauseMilliseconds.store(pause.count());
}
