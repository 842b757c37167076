#include "support/LogSink.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/WideText.h"

namespace {

// Until the process has its agent log, records go to standard error so that nothing is lost.
class StandardErrorSink final : public LogSink {
public:
    void Write(DWORD severity, const wchar_t* source, const wchar_t* message) override {
        const std::string line = WideToUtf8(FormatText(8192, L"[%u] %ls: %ls\n", severity,
                                                       source == nullptr ? L"" : source, message));
        std::fputs(line.c_str(), stderr);
    }
};

std::atomic<LogSink*> g_installedSink{nullptr};

}  // namespace

void LogSink::Install(LogSink* sink) {
    g_installedSink.store(sink);
}

LogSink& LogSink::Current() {
    static StandardErrorSink fallback;
    LogSink* sink = g_installedSink.load();
    return sink != nullptr ? *sink : fallback;
}
