#include "support/LogSink.h"

#include <atomic>

#include "support/AgentLog.h"

namespace {

std::atomic<LogSink*> g_installedSink{nullptr};

}  // namespace

LogSink* LogSink::Install(LogSink* sink) {
    return g_installedSink.exchange(sink);
}

LogSink& LogSink::Current() {
    LogSink* sink = g_installedSink.load();
    return sink != nullptr ? *sink : CAgentLog::Instance();
}
