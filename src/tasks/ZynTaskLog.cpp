#include "tasks/ZynTaskLog.h"

#include <optional>
#include <utility>

#include "ZynTaskSchedulerLib/HResults.h"
#include "platform/LastError.h"
#include "platform/ObjectAccess.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "platform/Wait.h"
#include "support/Folders.h"
#include "support/LogCall.h"
#include "support/MethodGuard.h"
#include "support/TextFile.h"
#include "support/ThrowError.h"
#include "tasks/TaskLogEntries.h"
#include "tasks/TriggerDocument.h"

namespace {

constexpr wchar_t kClassName[] = L"CZynTaskLog";
constexpr wchar_t kMutexPrefix[] = L"LogMutex";
// Writers hold the mutex for one small file's read or save. A holder that keeps it longer
// must not stop a worker or the scheduler: the update is skipped, and the next cycle writes
// the log again.
constexpr DWORD kMutexWaitMs = 2000;
constexpr wchar_t kMutexTimeoutText[] =
    L"The task log mutex is held elsewhere; this update is skipped";
constexpr GuardNames kReadLogXml{kClassName, L"ReadLogXml"};
// A log is rewritten at every schedule computation: it is replaced atomically but not worth a
// flush to disk each time.
constexpr bool kFlushToDisk = false;
// The text of a log that has seen no update yet.
constexpr wchar_t kNewLogText[] = L"<TaskLog Name='None'><Triggers/><TaskHistory/></TaskLog>\n";

void ReportSystemFailure(const wchar_t* format, const std::wstring& subject) {
    const DWORD error = GetLastError();
    CEReportEventFormat(CE_SEVERITY_ERROR, kClassName, format, subject.c_str(),
                        SystemMessageText(error).c_str(), error);
}

XmlNode FindTaskLog(const XmlDocument& document) {
    const XmlNode taskLog = document.SelectSingle(L"//TaskLog");
    if (!taskLog) {
        CEThrowError(E_FAIL, L"Failed to find TaskLog node.");
    }
    return taskLog;
}

// A new, empty Triggers element in the place of the old one, or last when there was none.
XmlNode FreshTriggersElement(const XmlNode& taskLog) {
    const XmlNode old = taskLog.SelectSingle(L".//Triggers");
    if (!old) {
        return taskLog.AppendElement(L"Triggers");
    }
    const XmlDocument scratch;
    const XmlNode fresh = taskLog.ReplaceChild(old, scratch.Root().AppendElement(L"Triggers"));
    if (!fresh) {
        FAILED_THROW(E_INVALIDARG);  // found further down, where TaskLog cannot replace it
    }
    return fresh;
}

void KeepNewestRunTimes(const XmlNode& history) {
    const std::vector<XmlNode> runTimes = history.SelectAll(L".//LastRunTime");
    for (std::size_t i = 0; i + kKeptRunTimes < runTimes.size(); ++i) {
        runTimes[i].Remove();
    }
}

}  // namespace

// Owns the task's mutex for one scope; a null mutex (no file named) is not waited for.
class CZynTaskLog::MutexHold {
public:
    explicit MutexHold(NamedMutex* mutex) : m_mutex(mutex) {
        if (m_mutex == nullptr) {
            return;
        }
        const DWORD result = m_mutex->Acquire(kMutexWaitMs);
        if (result == WAIT_TIMEOUT) {
            CEThrowError(HRESULT_FROM_WIN32(ERROR_TIMEOUT), kMutexTimeoutText);
        }
        // An owner that died mid-save left the old file or the new one: the save is atomic.
        if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
            FAILED_THROW(HRESULT_FROM_WIN32(GetLastError()));
        }
    }
    ~MutexHold() {
        if (m_mutex != nullptr) {
            m_mutex->Release();
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    NamedMutex* m_mutex;
};

CZynTaskLog::CZynTaskLog(std::wstring_view folder, std::wstring_view taskGuid)
    : m_bstrTaskGuid(taskGuid) {
    if (folder.empty() || taskGuid.empty()) {
        return;
    }
    const std::wstring folderPath(folder);
    if (!DirectoryExists(folderPath) && !CreateTargetDir(folderPath)) {
        ReportSystemFailure(L"Failed to create log folder '%ls', error: %ls (0x%08X)", folderPath);
    }
    const std::optional<ObjectAccess> access = ObjectAccess::ForFolder(folderPath);
    if (!access) {
        return;
    }
    // The mutex is shared with those who may write the log folder, and nobody else.
    m_pMutex = NamedMutex::Open(kMutexPrefix + m_bstrTaskGuid, *access);
    if (!m_pMutex) {
        ReportSystemFailure(L"Failed to open task log mutex '%ls', error: %ls (0x%08X)",
                            kMutexPrefix + m_bstrTaskGuid);
        return;
    }
    m_bstrFileName = JoinPath(folderPath, m_bstrTaskGuid + L".xml");
}

template <class Change>
void CZynTaskLog::Update(const wchar_t* member, Change&& change) {
    GuardAndLog(GuardNames{kClassName, member}, kClassName, [&] {
        const MutexHold hold(m_pMutex.get());
        XmlDocument document = LoadLogDocument();
        std::forward<Change>(change)(document);
        if (FAILED(WriteLogXml(document.Serialize()))) {
            FAILED_THROW(E_FAIL);
        }
    });
}

void CZynTaskLog::LogName(std::wstring_view taskName) {
    Update(L"LogName", [&](XmlDocument& document) {
        const XmlNode name = document.SelectSingle(L"//TaskLog/@Name");
        if (!name) {
            CEThrowError(E_FAIL, L"Failed to find Name node.");
        }
        name.SetText(taskName);
    });
}

void CZynTaskLog::LogTaskStatus(const ZynTriggerList& triggers) {
    Update(L"LogTaskStatus", [&](XmlDocument& document) {
        const XmlNode list = FreshTriggersElement(FindTaskLog(document));
        for (const CountedPtr<CZynTaskTrigger>& trigger : triggers) {
            AppendTriggerState(list, *trigger);
        }
    });
}

void CZynTaskLog::LogLastRunTime(DATE when) {
    Update(L"LogLastRunTime", [&](XmlDocument& document) {
        const XmlNode taskLog = FindTaskLog(document);
        XmlNode history = taskLog.SelectSingle(L".//TaskHistory");
        if (!history) {
            history = taskLog.AppendElement(L"TaskHistory");
        }
        const std::wstring runTime = FormatLogDate(when);
        history.AppendElement(L"LastRunTime").SetText(runTime);
        KeepNewestRunTimes(history);
    });
}

HRESULT CZynTaskLog::ReadLogXml(std::wstring& text) {
    GuardFailure failure;  // only a mutex that cannot be taken throws; the answer says enough
    const HRESULT hr = RunGuarded(kReadLogXml, failure, [&] {
        const MutexHold hold(m_pMutex.get());
        return ReadTextFile(m_bstrFileName, text, CP_ACP) ? S_OK : E_FAIL;
    });
    return SUCCEEDED(hr) ? S_OK : E_FAIL;
}

bool CZynTaskLog::LogFileExists() const {
    if (m_bstrFileName.empty()) {
        CEThrowError(E_FAIL, L"Filename for task log file not set.");
    }
    return FileExists(m_bstrFileName);
}

void CZynTaskLog::CreateLogFile() const {
    // A file that cannot be made shows up right after, as a document that does not load.
    SaveEncodedTextFile(m_bstrFileName, kNewLogText, CP_ACP, kFlushToDisk);
}

HRESULT CZynTaskLog::WriteLogXml(std::wstring_view text) const {
    return SaveEncodedTextFile(m_bstrFileName, text, CP_ACP, kFlushToDisk) ? S_OK : E_FAIL;
}

XmlDocument CZynTaskLog::LoadLogDocument() {
    if (!LogFileExists()) {
        CreateLogFile();
    }
    std::wstring text;
    ReadLogXml(text);  // a file that cannot be read loads as no document at all
    return LoadTaskDocument(text);
}
