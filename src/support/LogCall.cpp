#include "support/LogCall.h"

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/SystemMessage.h"
#include "platform/WideText.h"
#include "support/LogSink.h"

namespace {

// "src/engine/ZynTaskScheduler.cpp" at line 220 gives "ZynTaskScheduler(220)".
std::wstring TraceSource(const char* sourceFile, int line) {
    std::string_view name(sourceFile == nullptr ? "" : sourceFile);
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return Utf8ToWideLossy(name) + L"(" + std::to_wstring(line) + L")";
}

}  // namespace

bool CEWillReport(DWORD severity) noexcept {
    try {
        return LogSink::CurrentAccepts(severity);
    } catch (...) {
        return false;  // a sink that cannot answer would not take the record either
    }
}

void CEReportEvent(DWORD severity, const wchar_t* source, const wchar_t* message) noexcept {
    if (message == nullptr || *message == L'\0') {
        return;
    }
    try {
        LogSink::WriteToCurrent(severity, source, message);
    } catch (...) {
        // Logging never fails its caller; a record that cannot be written is dropped.
    }
}

void CEReportEventFormat(DWORD severity, const wchar_t* source, const wchar_t* format,
                         ...) noexcept {
    if (!CEWillReport(severity)) {
        return;
    }
    try {
        va_list args;
        va_start(args, format);
        const std::wstring message = FormatTextV(kLogMessageCapacity, format, args);
        va_end(args);
        CEReportEvent(severity, source, message.c_str());
    } catch (...) {
    }
}

void CEReportEventWithError(DWORD severity, const wchar_t* source, DWORD errorCode,
                            const wchar_t* format, ...) noexcept {
    if (!CEWillReport(severity)) {
        return;
    }
    try {
        va_list args;
        va_start(args, format);
        std::wstring message = FormatTextV(kLogMessageCapacity, format, args);
        va_end(args);
        if (message.empty()) {
            return;
        }
        message += L", error: " + SystemMessageText(errorCode);
        CEReportEvent(severity, source, message.c_str());
    } catch (...) {
    }
}

void CETrace(DWORD severity, const char* sourceFile, int line, const wchar_t* format,
             ...) noexcept {
    if (!CEWillReport(severity)) {
        return;
    }
    try {
        va_list args;
        va_start(args, format);
        const std::wstring message = FormatTextV(kLogMessageCapacity, format, args);
        va_end(args);
        CEReportEvent(severity, TraceSource(sourceFile, line).c_str(), message.c_str());
    } catch (...) {
    }
}
