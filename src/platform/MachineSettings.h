// The machine's settings as a program that changes them must know them: whether this process
// may write them, and where they are kept, for its messages (on Linux the registry's root
// folder, on Windows the system's registry).
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Registry.h"

LSTATUS CheckMachineSettingsWritable();
std::wstring MachineSettingsPlace();
