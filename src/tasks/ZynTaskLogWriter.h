// The task log's side of a task definition: where a definition hands its name and the state
// of its triggers once a document has been set or its next run time computed. The task log
// documents implement it (CZynTaskLogFileWriter); tests give a stand-in.
//
// The definition calls it only when its task-log flag is set and the engine holds the work
// folder with logging on, passing the log folder (work folder + "Logs") and the task's
// identity. A writer contains its own failures: a schedule never fails because of its log.
// Calls arrive under the engine's main lock; a writer must outlive the definitions using it.
#pragma once

#include <string_view>

#include "tasks/ZynTaskTrigger.h"

class IZynTaskLogWriter {
public:
    virtual void LogName(std::wstring_view logFolder, std::wstring_view taskGuid,
                         std::wstring_view taskName) = 0;
    virtual void LogTaskStatus(std::wstring_view logFolder, std::wstring_view taskGuid,
                               const ZynTriggerList& triggers) = 0;

protected:
    ~IZynTaskLogWriter() = default;
};
