// The host process of the scheduler: writes its options into the scheduler's settings, makes
// sure the work folder is safe to run tasks from, loads the library by activation (registering
// it first when needed), starts the scheduler and runs until SIGTERM or SIGINT, then stops it
// and lets everything go before it returns. Refusals throw AppFailure with one line. Runs on
// the main thread, which must not have started other threads before.
#pragma once

#include "common/SchedulerSettingsStore.h"

struct DaemonOptions {
    SchedulerOptions settings;
    bool foreground = false;  // agent-log records are also copied to standard error
};

class ZynTaskDaemon {
public:
    explicit ZynTaskDaemon(DaemonOptions options) : m_options(std::move(options)) {}
    // The exit status: 0 after a requested stop.
    int Run();

private:
    static void CopyAgentLogToConsole();

    DaemonOptions m_options;
};
