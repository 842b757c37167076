#include "support/LogSink.h"

#include <atomic>
#include <thread>

#include "support/AgentLog.h"

namespace {

std::atomic<LogSink*> g_installedSink{nullptr};
// Calls into a sink under way: a sink read before an Install may still be in use until they end.
std::atomic<int> g_callsUnderWay{0};

// Keeps the sink it reads in use while it lives.
class SinkInUse {
public:
    SinkInUse() { g_callsUnderWay.fetch_add(1); }
    ~SinkInUse() { g_callsUnderWay.fetch_sub(1); }
    SinkInUse(const SinkInUse&) = delete;
    SinkInUse& operator=(const SinkInUse&) = delete;

    LogSink& Sink() const {
        LogSink* sink = g_installedSink.load();
        return sink != nullptr ? *sink : CAgentLog::Instance();
    }
};

}  // namespace

LogSink* LogSink::Install(LogSink* sink) {
    LogSink* previous = g_installedSink.exchange(sink);
    while (g_callsUnderWay.load() != 0) {
        std::this_thread::yield();
    }
    return previous;
}

bool LogSink::CurrentAccepts(DWORD severity) {
    const SinkInUse current;
    return current.Sink().Accepts(severity);
}

void LogSink::WriteToCurrent(DWORD severity, const wchar_t* source, const wchar_t* message) {
    const SinkInUse current;
    current.Sink().Write(severity, source, message);
}
