// Where the log call delivers records. The process has one current sink; a test installs its
// own to capture what the code under test reports, and the agent log is the sink otherwise.
// Install is thread-safe; a sink must accept records from any thread and outlive its
// installation.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

class LogSink {
public:
    virtual ~LogSink() = default;
    // `source` may be null; `message` is never null or empty.
    virtual void Write(DWORD severity, const wchar_t* source, const wchar_t* message) = 0;

    // Installs `sink` for every later record; null goes back to the default sink.
    static void Install(LogSink* sink);
    static LogSink& Current();
};
