#include "automation/SchedulerSettings.h"

#include "platform/Path.h"
#include "platform/WideText.h"
#include "platform/XmlDocument.h"

namespace {

// 260 UTF-16 units, the longest folder the settings hold.
constexpr DWORD kMaxWorkFolderBytes = 520;
constexpr std::size_t kDocumentCapacity = 4096;

}  // namespace

LSTATUS CSchedulerSettings::Open() {
    return m_key.Create(HKEY_LOCAL_MACHINE, kKeyPath, KEY_READ | KEY_WRITE);
}

void CSchedulerSettings::ReadNumbers() {
    m_loggingEnabled = ReadNumber(L"Enable Logging", kDefaultLoggingEnabled);
    m_execQueueSize = ReadNumber(L"Execution Queue Size", kDefaultExecQueueSize);
    m_threadPoolSize = ReadNumber(L"Thread Pool Size", kDefaultThreadPoolSize);
}

DWORD CSchedulerSettings::ReadNumber(const wchar_t* name, DWORD defaultValue) {
    if (const auto stored = m_key.QueryNumber(name)) {
        return *stored;
    }
    m_key.SetNumber(name, defaultValue);
    return defaultValue;
}

bool CSchedulerSettings::ReadWorkFolder(std::wstring_view libraryFile) {
    if (auto stored = m_key.QueryText(L"WorkFolder", kMaxWorkFolderBytes)) {
        m_workFolder = std::move(*stored);
        return true;
    }
    if (libraryFile.empty()) {
        return false;
    }
    m_workFolder = DefaultWorkFolder(libraryFile);
    m_key.SetText(L"WorkFolder", m_workFolder);
    return true;
}

std::wstring CSchedulerSettings::ConfigurationDocument() const {
    return FormatText(kDocumentCapacity,
                      L"<TaskScheduler WorkFolder='%ls' LoggingEnabled='%d' "
                      L"WorkerThreadPoolSize='%d' MaxExecQueueSize='%d'/>",
                      EscapeXml(m_workFolder).c_str(), static_cast<int>(m_loggingEnabled),
                      static_cast<int>(m_threadPoolSize), static_cast<int>(m_execQueueSize));
}

std::wstring DefaultWorkFolder(std::wstring_view libraryFile) {
    const std::size_t separator = libraryFile.rfind(kPathSeparator);
    if (separator == std::wstring_view::npos) {
        return std::wstring(libraryFile);
    }
    return std::wstring(libraryFile.substr(0, separator + 1)) + L"Tasks";
}

std::wstring EscapeXml(std::wstring_view text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    AppendXmlEscaped(escaped, text);
    return escaped;
}
