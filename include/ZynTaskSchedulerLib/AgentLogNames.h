// Names shared by every process that writes the agent log. A host sets the environment
// variables before it loads the library; the change counter lets a settings editor make every
// running writer re-read the registry at its next record instead of within the minute.
#pragma once

// Eight hexadecimal digits (the "%08X" form) that widen the log filter and add copies; see the
// README's agent log section for the fields.
inline constexpr char kAgentLogOverrideVariable[] = "Zyn_{56294649-7112-4E1B-8F51-68E742087BD6}";
// Exactly "1" lets records that ask for a console copy reach standard error.
inline constexpr char kAgentLogConsoleVariable[] = "Zyn_{80EB215E-01AB-4C0A-BE67-ADCCBFCC6BB1}";
// A 4-byte shared section; incrementing it forces every writer to re-read its settings.
inline constexpr wchar_t kAgentLogChangeCounterName[] =
    L"Global\\Zyn_{C4AFE6B3-5F8D-4EB5-9C64-5B46CB8E7AAD}";
inline constexpr wchar_t kAgentLogMutexName[] = L"Global\\AGENTLOGMUTEX";
// Registry key (under HKEY_LOCAL_MACHINE) of the agent log settings.
inline constexpr wchar_t kAgentLogSettingsKey[] =
    L"Software\\Kalvane\\Kalvane Agent\\Event Logging\\logfile";
