// zyntaskd: runs the scheduler of one work folder until SIGTERM or SIGINT.
#include <cstdio>

#include "common/AppFailure.h"
#include "common/ArgumentList.h"
#include "platform/WideText.h"
#include "zyntaskd/ZynTaskDaemon.h"

namespace {

constexpr char kUsage[] =
    "usage: zyntaskd [options]\n"
    "Runs the scheduled tasks of a work folder until SIGTERM or SIGINT.\n"
    "\n"
    "  --work-folder DIR   the folder of the task documents (created 0700 when missing)\n"
    "  --threads N         tasks that may run at once (1-64)\n"
    "  --queue-size N      due tasks that may wait for a free thread (1-10000)\n"
    "  --logging on|off    keep a log document per task in DIR/Logs\n"
    "  --foreground        also copy every agent-log record to standard error\n"
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

}  // namespace

int main(int argc, char** argv) {
    try {
        ArgumentList arguments(argc, argv, 1);
        if (arguments.TakeFlag("help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        ZynTaskDaemon daemon(ParseOptions(arguments));
        return daemon.Run();
    } catch (const AppFailure& failure) {
        std::fprintf(stderr, "zyntaskd: %s\n", WideToUtf8(failure.message).c_str());
        if (failure.exitStatus == kUsageExitStatus) {
            std::fputs("Try zyntaskd --help.\n", stderr);
        }
        return failure.exitStatus;
    }
}
