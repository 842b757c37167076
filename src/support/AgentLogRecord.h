// One event record of the agent log, and the rules that decide whether and how a call is
// recorded: the effective severity, the filter and the override flags. The record text is
// built in buffers the builder owns and reuses, so a steady stream of records allocates
// nothing once the buffers have grown. A builder belongs to one thread at a time (the agent
// log uses it under its mutex); the free functions are pure.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

// Fields of the override value (and of the severity argument when there is no override).
inline constexpr DWORD kAgentLogExtraSeverityMask = 0x000000FF;
inline constexpr DWORD kAgentLogSeverityModeMask = 0x00F00000;
inline constexpr DWORD kAgentLogAllAsTrace = 0x00100000;
inline constexpr DWORD kAgentLogErrorsAsInformation = 0x00200000;
inline constexpr DWORD kAgentLogFlagsMask = 0x0F000000;
inline constexpr DWORD kAgentLogCopyToInstallLog = 0x01000000;
inline constexpr DWORD kAgentLogSuppressAll = 0x02000000;
inline constexpr DWORD kAgentLogCopyToConsole = 0x04000000;
inline constexpr DWORD kAgentLogOverrideMask = 0x0FF000FF;
inline constexpr DWORD kNoAgentLogOverride = 0xFFFFFFFF;

// The severity written for a call, from the argument and the override (kNoAgentLogOverride
// when there is none, and then the argument's own mode field counts).
DWORD EffectiveSeverity(DWORD severityArgument, DWORD overrideValue);
// The flag field (install log, suppress, console) that applies to a call.
DWORD EffectiveFlags(DWORD severityArgument, DWORD overrideValue);
// Whether a record of `severity` passes the registry mask widened by the override.
bool PassesFilter(DWORD severity, DWORD registryMask, DWORD overrideValue);
// "*ERRR", "*WARN", " INFO", "<TRC>", "<VRB>", "<DBG>" or "?UNKN".
const wchar_t* SeverityName(DWORD severity);

struct AgentLogEvent {
    DWORD severity = 0;
    const wchar_t* source = nullptr;
    const wchar_t* message = nullptr;
    SYSTEMTIME localTime{};
    LONG biasMinutes = 0;  // UTC = local + bias
    const wchar_t* hostName = L"";
    const wchar_t* moduleName = L"";
    const wchar_t* processName = L"";
    DWORD processId = 0;
    DWORD threadId = 0;
    DWORD tickCount = 0;
};

class CAgentLogRecord {
public:
    // The record as UTF-8, beginning with its line break; valid until the next Build.
    const std::string& Build(const AgentLogEvent& event);

private:
    void AppendEscapedSource(const wchar_t* source);
    void AppendEscapedMessage(const wchar_t* message);

    std::wstring m_text;
    std::string m_utf8;
};
