// What the service manager that started this process learns of it: that it is ready (the work
// folder is held and tasks will run), and that it is stopping. A process not started by a
// service manager that asked to be told (no NOTIFY_SOCKET in its environment; on Windows, not
// run through RunAsService) tells nobody, and so does one whose message cannot be sent:
// readiness is a courtesy to the manager, never a reason to fail. Thread-safe.
//
// On Windows the manager also starts the service through its dispatcher, sends its stop as a
// control (which reaches the host as a termination request, TerminationSignals) and keeps the
// services' list, which Install and Uninstall change. On Linux the manager starts the program
// as it is and the package installs the service's unit.
#pragma once

#include <functional>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

class ServiceManager {
public:
    // `status` is the one line the manager shows beside the service.
    static void NotifyReady(std::wstring_view status);
    static void NotifyStopping(std::wstring_view status);

    // Runs `body` as the service `name` and answers its exit code. On Windows the process must
    // have been started by the service manager (for the command line Install gave it); when
    // it was not, the answer is -1 with the last-error value set.
    static int RunAsService(std::wstring_view name, const std::function<int()>& body);
    // Makes `commandLine` the program of the service `name`, started with the system as the
    // local system account; ERROR_NOT_SUPPORTED where the package installs services.
    static DWORD Install(std::wstring_view name, std::wstring_view commandLine);
    static DWORD Uninstall(std::wstring_view name);
};
