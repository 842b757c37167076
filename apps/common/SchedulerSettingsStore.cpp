#include "common/SchedulerSettingsStore.h"

#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "common/AppFailure.h"
#include "platform/MachineSettings.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "platform/UserFolders.h"

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Kalvane\\Scheduler";
constexpr std::size_t kMaximumFolderBytes = 8192;

[[noreturn]] void ThrowRegistryFailure(LSTATUS status) {
    throw AppFailure{L"cannot write the registry in " + MachineSettingsPlace() + L": " +
                     SystemMessageText(static_cast<DWORD>(status))};
}

class SettingsKey {
public:
    explicit SettingsKey(REGSAM access) {
        m_status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, access, &m_key);
    }
    ~SettingsKey() {
        if (m_status == ERROR_SUCCESS) {
            RegCloseKey(m_key);
        }
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool IsOpen() const { return m_status == ERROR_SUCCESS; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key{};
    LSTATUS m_status;
};

std::optional<DWORD> ReadNumber(const wchar_t* name) {
    const SettingsKey key(KEY_READ);
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (!key.IsOpen() ||
        RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::wstring> ReadText(const wchar_t* name) {
    const SettingsKey key(KEY_READ);
    std::vector<BYTE> data(kMaximumFolderBytes);
    DWORD type = 0;
    auto size = static_cast<DWORD>(data.size());
    if (!key.IsOpen() ||
        RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return RegStringText(data.data(), size);
}

}  // namespace

void SchedulerSettingsStore::Write(const SchedulerOptions& options) {
    if (const LSTATUS status = CheckMachineSettingsWritable(); status != ERROR_SUCCESS) {
        ThrowRegistryFailure(status);
    }
    if (options.workFolder) {
        const std::vector<BYTE> text = RegStringData(*options.workFolder);
        WriteValue(L"WorkFolder", REG_SZ, text.data(), static_cast<DWORD>(text.size()));
    }
    const auto writeNumber = [](const wchar_t* name, const std::optional<DWORD>& number) {
        if (number) {
            WriteValue(name, REG_DWORD, &*number, sizeof(DWORD));
        }
    };
    writeNumber(L"Thread Pool Size", options.threadPoolSize);
    writeNumber(L"Execution Queue Size", options.executionQueueSize);
    if (options.loggingEnabled) {
        writeNumber(L"Enable Logging", DWORD{*options.loggingEnabled ? 1u : 0u});
    }
}

std::wstring SchedulerSettingsStore::WorkFolder() {
    const std::optional<std::wstring> stored = ReadText(L"WorkFolder");
    return stored && !stored->empty() ? *stored : DefaultWorkFolder();
}

bool SchedulerSettingsStore::LoggingEnabled() {
    return ReadNumber(L"Enable Logging").value_or(0) != 0;
}

std::wstring SchedulerSettingsStore::DefaultWorkFolder() {
    return JoinPath(AgentStateFolder(), L"tasks");
}

void SchedulerSettingsStore::WriteValue(const wchar_t* name, DWORD type, const void* data,
                                        DWORD size) {
    HKEY key{};
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        ThrowRegistryFailure(status);
    }
}
