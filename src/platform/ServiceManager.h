// What the service manager that started this process learns of it: that it is ready (the work
// folder is held and tasks will run), and that it is stopping. A process not started by a
// service manager that asked to be told (no NOTIFY_SOCKET in its environment) tells nobody, and
// so does one whose message cannot be sent: readiness is a courtesy to the manager, never a
// reason to fail. Thread-safe.
#pragma once

#include <string_view>

class ServiceManager {
public:
    // `status` is the one line the manager shows beside the service.
    static void NotifyReady(std::wstring_view status);
    static void NotifyStopping(std::wstring_view status);
};
