#include "engine/WorkFolderWatch.h"

#include "platform/LastError.h"
#include "support/LogCall.h"

WorkFolderWatch::WorkFolderWatch(const wchar_t* source, Opener open)
    : m_source(source), m_open(std::move(open)) {}

void WorkFolderWatch::Watch(const std::wstring& folder) {
    Close();
    m_folder = folder;
    Open();
}

bool WorkFolderWatch::Reopen() {
    if (!IsLacking()) {
        return false;
    }
    Open();
    return m_watch != nullptr;
}

void WorkFolderWatch::Lose() {
    if (!m_watch) {
        return;
    }
    m_watch.reset();
    m_lackReported = true;
    CEReportEventFormat(CE_SEVERITY_WARNING, m_source,
                        L"Lost the watch on the task directory %ls; it is read whole at every "
                        L"cycle until it can be watched again",
                        m_folder.c_str());
}

void WorkFolderWatch::Close() {
    m_watch.reset();
    m_folder.clear();
    m_lackReported = false;
}

void WorkFolderWatch::Open() {
    m_watch = m_open(m_folder);
    if (m_watch && m_lackReported) {
        m_lackReported = false;
        CEReportEventFormat(CE_SEVERITY_INFORMATION, m_source,
                            L"Watching the task directory %ls again", m_folder.c_str());
    } else if (!m_watch && !m_lackReported) {
        m_lackReported = true;
        CEReportEventWithError(CE_SEVERITY_WARNING, m_source, GetLastError(),
                               L"Cannot watch the task directory %ls; it is read whole at every "
                               L"cycle until it can be watched",
                               m_folder.c_str());
    }
}
