#include "platform/MachineSettings.h"

#include "platform/RegistryStore.h"

LSTATUS CheckMachineSettingsWritable() {
    return CheckRegistryWritable();
}

std::wstring MachineSettingsPlace() {
    return RegistryRootFolder();
}
