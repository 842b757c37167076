// Captures every record the code under test reports while the capture lives, in place of the
// sink installed before it, which it puts back when it goes. Records may arrive from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "support/LogSink.h"

struct LogRecord {
    DWORD severity;
    std::wstring source;
    std::wstring message;
    bool hasSource;
};

class LogCapture final : public LogSink {
public:
    LogCapture();
    ~LogCapture() override;

    void Write(DWORD severity, const wchar_t* source, const wchar_t* message) override;

    std::vector<LogRecord> Records() const;
    // Records whose message contains `fragment` (and, when given, with that source and severity).
    std::vector<LogRecord> Matching(const std::wstring& fragment) const;
    bool Contains(DWORD severity, const std::wstring& source, const std::wstring& message) const;
    void Clear();

private:
    LogSink* m_previous = nullptr;
    mutable std::mutex m_mutex;
    std::vector<LogRecord> m_records;
};
