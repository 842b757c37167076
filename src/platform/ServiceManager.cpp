#include "platform/ServiceManager.h"

#include <systemd/sd-daemon.h>

#include <string>

#include "ZynTaskSchedulerLib/SystemErrors.h"
#include "platform/WideText.h"

namespace {

void Notify(const char* state, std::wstring_view status) {
    const std::string message = std::string(state) + "\nSTATUS=" + WideToUtf8(status);
    // The answer only says whether a manager was told; either way there is nothing to do.
    [[maybe_unused]] const int told = ::sd_notify(0, message.c_str());
}

}  // namespace

void ServiceManager::NotifyReady(std::wstring_view status) {
    Notify("READY=1", status);
}

void ServiceManager::NotifyStopping(std::wstring_view status) {
    Notify("STOPPING=1", status);
}

int ServiceManager::RunAsService(std::wstring_view, const std::function<int()>& body) {
    return body();
}

DWORD ServiceManager::Install(std::wstring_view, std::wstring_view) {
    return ERROR_NOT_SUPPORTED;
}

DWORD ServiceManager::Uninstall(std::wstring_view) {
    return ERROR_NOT_SUPPORTED;
}
