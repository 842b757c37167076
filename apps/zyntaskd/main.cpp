// zyntaskd: runs the scheduler of one work folder until SIGTERM or SIGINT (on Windows Ctrl+C
// or the service's stop), from a console or as the system's service.
#include <cstdio>
#include <functional>

#include "common/AppFailure.h"
#include "common/ArgumentList.h"
#include "platform/LastError.h"
#include "platform/ProcessInfo.h"
#include "platform/ServiceManager.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "zyntaskd/ZynTaskDaemon.h"

namespace {

constexpr char kUsage[] =
    "usage: zyntaskd [options]\n"
    "Runs the scheduled tasks of a work folder until SIGTERM or SIGINT (on Windows Ctrl+C or\n"
    "the service's stop).\n"
    "\n"
    "  --work-folder DIR   the folder of the task documents (created 0700 when missing)\n"
    "  --threads N         tasks that may run at once (1-64)\n"
    "  --queue-size N      due tasks that may wait for a free thread (1-10000)\n"
    "  --logging on|off    keep a log document per task in DIR/Logs\n"
    "  --foreground        also copy every agent-log record to standard error\n"
    "  --install-service   store the options and make zyntaskd the system's service\n"
    "                      ZynTaskScheduler, started with the system (Windows)\n"
    "  --uninstall-service remove that service (Windows)\n"
    "  --service           the service's own start, by the service manager (Windows)\n"
    "  --help              this text\n"
    "\n"
    "The options are stored in the scheduler's settings in the registry (ZYN_REGISTRY names\n"
    "its folder) and stay in force for later starts.\n";

DaemonOptions ParseOptions(ArgumentList& arguments) {
    DaemonOptions options;
    options.settings.workFolder = arguments.TakeFolder("work-folder");
    options.settings.threadPoolSize = arguments.TakeNumber("threads", 1, 64);
    options.settings.executionQueueSize = arguments.TakeNumber("queue-size", 1, 10000);
    options.settings.loggingEnabled = arguments.TakeSwitch("logging");
    options.foreground = arguments.TakeFlag("foreground");
    arguments.ExpectEnd();
    return options;
}

constexpr wchar_t kServiceName[] = L"ZynTaskScheduler";

// The exit status of `body`, a refusal told on standard error.
int Reported(const std::function<int()>& body) {
    try {
        return body();
    } catch (const AppFailure& failure) {
        std::fprintf(stderr, "zyntaskd: %s\n", WideToUtf8(failure.message).c_str());
        if (failure.exitStatus == kUsageExitStatus) {
            std::fputs("Try zyntaskd --help.\n", stderr);
        }
        return failure.exitStatus;
    }
}

void CheckServiceCall(DWORD error, const wchar_t* what) {
    if (error != ERROR_SUCCESS) {
        throw AppFailure{std::wstring(L"cannot ") + what + L" the service " + kServiceName + L": " +
                         SystemMessageText(error)};
    }
}

int Main(int argc, char** argv) {
    ArgumentList arguments(argc, argv, 1);
    if (arguments.TakeFlag("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool install = arguments.TakeFlag("install-service");
    const bool uninstall = arguments.TakeFlag("uninstall-service");
    const bool service = arguments.TakeFlag("service");
    DaemonOptions options = ParseOptions(arguments);
    if (uninstall) {
        CheckServiceCall(ServiceManager::Uninstall(kServiceName), L"remove");
        return 0;
    }
    if (install) {
        // Installed first, so that a system without such services changes no settings.
        CheckServiceCall(ServiceManager::Install(
                             kServiceName, L"\"" + CurrentProcessImagePath() + L"\" --service"),
                         L"install");
        SchedulerSettingsStore::Write(options.settings);
        return 0;
    }
    ZynTaskDaemon daemon(std::move(options));
    if (service) {
        const int status = ServiceManager::RunAsService(
            kServiceName, [&] { return Reported([&] { return daemon.Run(); }); });
        if (status == -1) {
            throw AppFailure{L"not started by the service manager: " +
                             SystemMessageText(GetLastError())};
        }
        return status;
    }
    return daemon.Run();
}

}  // namespace

int main(int argc, char** argv) {
    return Reported([&] { return Main(argc, argv); });
}
