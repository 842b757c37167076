#include "platform/MachineSettings.h"

// Only the system and administrators may write the machine's software settings.
LSTATUS CheckMachineSettingsWritable() {
    HKEY key{};
    const LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_WRITE, &key);
    if (status == ERROR_SUCCESS) {
        ::RegCloseKey(key);
    }
    return status;
}

std::wstring MachineSettingsPlace() {
    return L"HKEY_LOCAL_MACHINE";
}
