#include "tasks/ZynTaskLogFileWriter.h"

#include <type_traits>

#include "tasks/ZynTaskLog.h"

static_assert(std::is_trivially_destructible_v<CZynTaskLogFileWriter>);

IZynTaskLogWriter& CZynTaskLogFileWriter::Instance() {
    static CZynTaskLogFileWriter writer;  // never torn down: usable to the very end
    return writer;
}

void CZynTaskLogFileWriter::LogName(std::wstring_view logFolder, std::wstring_view taskGuid,
                                    std::wstring_view taskName) {
    CZynTaskLog(logFolder, taskGuid).LogName(taskName);
}

void CZynTaskLogFileWriter::LogTaskStatus(std::wstring_view logFolder, std::wstring_view taskGuid,
                                          const ZynTriggerList& triggers) {
    CZynTaskLog(logFolder, taskGuid).LogTaskStatus(triggers);
}
