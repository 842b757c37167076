// Where the agent log's settings come from: the registry key of the agent log (severity mask,
// size and file limits, folder and file name) with the defaults and bounds that make every
// value usable, and the folders used when the registry names none. Reads only; thread-safe.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

struct AgentLogLimits {
    DWORD severityMask = 7;  // error, warning, information
    DWORD maxSizeKb = 100;
    DWORD maxFiles = 20;
};

// Re-reads the three limits; false, leaving `limits` as it was, when the key cannot be opened.
bool ReadAgentLogLimits(AgentLogLimits& limits);

struct AgentLogLocation {
    std::wstring folder;  // without a trailing separator
    std::wstring fileName;
};

// The folder and file name, read once when the log is made. Without a usable "FilePath" the
// folder is the system's log folder for root (/var/log/zyntask), the user's state folder for
// anyone else ($XDG_STATE_HOME/zyntask/logs or ~/.local/state/zyntask/logs); an empty one means
// the temporary folder. %NAME% references to environment variables are expanded.
AgentLogLocation ReadAgentLogLocation();

// The plain-text install log that the override's install-log flag copies records to.
std::wstring AgentInstallLogPath();

// Replaces every %NAME% whose variable is set by its value; other text stays as it is.
std::wstring ExpandEnvironmentReferences(const std::wstring& text);
