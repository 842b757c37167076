#include "support/LogCapture.h"

// Installed only once complete: threads of the code under test may write at once.
LogCapture::LogCapture() {
    m_previous = LogSink::Install(this);
}

LogCapture::~LogCapture() {
    LogSink::Install(m_previous);
}

void LogCapture::Write(DWORD severity, const wchar_t* source, const wchar_t* message) {
    std::lock_guard lock(m_mutex);
    m_records.push_back({severity, source == nullptr ? L"" : source, message, source != nullptr});
}

std::vector<LogRecord> LogCapture::Records() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::vector<LogRecord> LogCapture::Matching(const std::wstring& fragment) const {
    std::vector<LogRecord> found;
    for (const LogRecord& record : Records()) {
        if (record.message.find(fragment) != std::wstring::npos) {
            found.push_back(record);
        }
    }
    return found;
}

bool LogCapture::Contains(DWORD severity, const std::wstring& source,
                          const std::wstring& message) const {
    for (const LogRecord& record : Records()) {
        if (record.severity == severity && record.source == source && record.message == message) {
            return true;
        }
    }
    return false;
}

void LogCapture::Clear() {
    std::lock_guard lock(m_mutex);
    m_records.clear();
}
