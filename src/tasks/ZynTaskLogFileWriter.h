// The task log writer that task definitions use unless told otherwise: each call opens the
// task's log document in the given folder (CZynTaskLog), updates it and drops it.
//
// Stateless, so one instance serves every definition on every thread and lives as long as
// the process. Failures stay inside the task log, which logs them.
#pragma once

#include "tasks/ZynTaskLogWriter.h"

class CZynTaskLogFileWriter final : public IZynTaskLogWriter {
public:
    // The one instance.
    static IZynTaskLogWriter& Instance();

    void LogName(std::wstring_view logFolder, std::wstring_view taskGuid,
                 std::wstring_view taskName) override;
    void LogTaskStatus(std::wstring_view logFolder, std::wstring_view taskGuid,
                       const ZynTriggerList& triggers) override;

private:
    CZynTaskLogFileWriter() = default;
};
