#include "support/AgentLogSettings.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "ZynTaskSchedulerLib/AgentLogNames.h"
#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/UserFolders.h"
#include "platform/WideText.h"

namespace {

constexpr DWORD kMinimumSizeKb = 10;
constexpr DWORD kMinimumFiles = 2;
constexpr DWORD kMaxFolderBytes = 1040;
constexpr DWORD kMaxFileNameBytes = 520;
constexpr wchar_t kDefaultFileName[] = L"Agent.log";
constexpr wchar_t kInstallLogName[] = L"ZynTaskScheduler.log";

// The registry key, closed when the object goes.
class SettingsKey {
public:
    SettingsKey() {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentLogSettingsKey, 0, KEY_READ, &m_key) !=
            ERROR_SUCCESS) {
            m_key = HKEY{};
        }
    }
    ~SettingsKey() {
        if (IsOpen()) {
            RegCloseKey(m_key);
        }
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool IsOpen() const { return m_key != HKEY{}; }

    std::optional<DWORD> Number(const wchar_t* name) const {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (!IsOpen() ||
            RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof(value)) {
            return std::nullopt;
        }
        return value;
    }

    // A string value of at most `maxBytes` with its terminating zero; a value of no bytes at
    // all counts as missing.
    std::optional<std::wstring> Text(const wchar_t* name, DWORD maxBytes) const {
        std::vector<BYTE> data(maxBytes);
        DWORD type = 0;
        DWORD size = maxBytes;
        if (!IsOpen() ||
            RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
            return std::nullopt;
        }
        return RegStringText(data.data(), size);
    }

private:
    HKEY m_key{};
};

std::wstring WithoutTrailingSeparator(std::wstring folder) {
    if (folder.size() > 1 && (folder.back() == L'/' || folder.back() == L'\\')) {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

bool ReadAgentLogLimits(AgentLogLimits& limits) {
    const SettingsKey key;
    if (!key.IsOpen()) {
        return false;
    }
    const AgentLogLimits defaults;
    limits.severityMask = key.Number(L"Severity").value_or(defaults.severityMask) & 0xFF;
    limits.maxSizeKb =
        std::max(key.Number(L"MaxSize").value_or(defaults.maxSizeKb), kMinimumSizeKb);
    limits.maxFiles = std::max(key.Number(L"MaxFiles").value_or(defaults.maxFiles), kMinimumFiles);
    return true;
}

AgentLogLocation ReadAgentLogLocation() {
    const SettingsKey key;
    AgentLogLocation location;
    const std::optional<std::wstring> configured = key.Text(L"FilePath", kMaxFolderBytes);
    if (!configured) {
        location.folder = AgentLogFolder();
    } else if (configured->empty()) {
        location.folder = TemporaryFolder();
    } else {
        location.folder = *configured;
    }
    location.folder = WithoutTrailingSeparator(ExpandEnvironmentReferences(location.folder));
    const std::optional<std::wstring> fileName = key.Text(L"FileName", kMaxFileNameBytes);
    location.fileName = fileName && !fileName->empty() ? *fileName : kDefaultFileName;
    return location;
}

std::wstring AgentInstallLogPath() {
    return JoinPath(JoinPath(AgentStateFolder(), L"InstallLogs"), kInstallLogName);
}

std::wstring ExpandEnvironmentReferences(const std::wstring& text) {
    std::wstring expanded;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto open = text.find(L'%', pos);
        const auto close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            break;
        }
        expanded.append(text, pos, open - pos);
        bool found = false;
        const std::wstring value =
            GetEnvironmentText(WideToUtf8(text.substr(open + 1, close - open - 1)).c_str(), found);
        if (found) {
            expanded += value;
            pos = close + 1;
        } else {
            expanded += L'%';
            pos = open + 1;
        }
    }
    expanded.append(text, pos);
    return expanded;
}
