// The service as the system's service manager runs it: its dispatcher calls the service's
// main function on a thread of its own, which registers the control handler, reports the
// service's states and runs the body; the stop and shutdown controls become termination
// requests for the host.
#include "platform/ServiceManager.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/TerminationSignals.h"

namespace {

// What the dispatcher's thread needs; one service per process. The status handle is also read
// by the control handler, on a thread of the system's.
struct RunningService {
    std::wstring name;
    const std::function<int()>* body = nullptr;
    std::atomic<SERVICE_STATUS_HANDLE> status{nullptr};
    int exitCode = 0;
};
RunningService g_service;

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

void Report(DWORD state, int exitCode = 0) {
    const SERVICE_STATUS_HANDLE handle = g_service.status.load();
    if (handle == nullptr) {
        return;
    }
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    // Starting takes the work folder and the library's registration; stopping waits for tasks.
    status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 30000 : 0;
    ::SetServiceStatus(handle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            Report(SERVICE_STOP_PENDING);
            TerminationSignals::RequestFromServiceManager(control);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_service.status = ::RegisterServiceCtrlHandlerExW(g_service.name.c_str(), OnControl, nullptr);
    if (g_service.status.load() == nullptr) {
        g_service.exitCode = -1;
        return;
    }
    Report(SERVICE_START_PENDING);
    g_service.exitCode = (*g_service.body)();
    Report(SERVICE_STOPPED, g_service.exitCode);
}

}  // namespace

void ServiceManager::NotifyReady(std::wstring_view) {
    Report(SERVICE_RUNNING);
}

void ServiceManager::NotifyStopping(std::wstring_view) {
    Report(SERVICE_STOP_PENDING);
}

int ServiceManager::RunAsService(std::wstring_view name, const std::function<int()>& body) {
    g_service.name = std::wstring(name);
    g_service.body = &body;
    SERVICE_TABLE_ENTRYW table[] = {{g_service.name.data(), ServiceMain}, {nullptr, nullptr}};
    // Returns once the service has stopped.
    const bool dispatched = ::StartServiceCtrlDispatcherW(table) != FALSE;
    g_service.body = nullptr;
    return dispatched ? g_service.exitCode : -1;
}

DWORD ServiceManager::Install(std::wstring_view name, std::wstring_view commandLine) {
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return ::GetLastError();
    }
    const std::wstring service(name);
    const std::wstring program(commandLine);
    const ServiceHandle created(
        ::CreateServiceW(manager.get(), service.c_str(), service.c_str(), SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                         program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return created ? ERROR_SUCCESS : ::GetLastError();
}

DWORD ServiceManager::Uninstall(std::wstring_view name) {
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return ::GetLastError();
    }
    const ServiceHandle service(::OpenServiceW(manager.get(), std::wstring(name).c_str(), DELETE));
    if (!service || !::DeleteService(service.get())) {
        return ::GetLastError();
    }
    return ERROR_SUCCESS;
}
