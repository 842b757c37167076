// What a task definition asks of the scheduler engine that owns its work folder: where the
// folder is, whether this engine holds it (only the holder writes there), and whether task
// logging is switched on. The engine implements this interface; tests give a stand-in.
//
// Counted like every engine reference: a holder keeps one reference through CountedPtr. The
// engine answers under its own main lock, so the calls may come from any thread; they do not
// fail.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

class IZynTaskEngine {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

    // The work folder exactly as configured; empty before the engine is configured.
    virtual std::wstring GetWorkFolder() = 0;
    // True while this engine holds the work folder's lock file.
    virtual bool HasWorkFolderLock() = 0;
    // The engine's task-logging switch.
    virtual bool IsLoggingEnabled() = 0;

protected:
    ~IZynTaskEngine() = default;  // released through Release, never deleted through this type
};
