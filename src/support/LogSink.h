// Where the log call delivers records: the process's agent log, unless a sink of its own was
// installed (tests install one to capture what the code under test reports).
// Install is thread-safe; a sink must accept records from any thread. Install answers once no
// call into the sink it replaced is under way, so that its caller may destroy that sink (a test's
// capture goes while the threads of the code under test still write).
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

class LogSink {
public:
    virtual ~LogSink() = default;
    // `source` may be null; `message` is never null or empty.
    virtual void Write(DWORD severity, const wchar_t* source, const wchar_t* message) = 0;
    // Whether a record of `severity` would be kept now; false lets the caller skip making it.
    virtual bool Accepts(DWORD /*severity*/) { return true; }

    // Installs `sink` for every later record (null: the agent log again) and answers the sink
    // installed before, so that a caller can put it back.
    static LogSink* Install(LogSink* sink);
    // The installed sink's Accepts and Write.
    static bool CurrentAccepts(DWORD severity);
    static void WriteToCurrent(DWORD severity, const wchar_t* source, const wchar_t* message);
};
