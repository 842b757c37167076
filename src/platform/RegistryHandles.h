// The table of open registry keys: a handle stands for a tree, a path of key names in it and
// the access rights it was opened with. Handle values are never reused, so a closed or made-up
// handle is always recognised. Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/RegistryStore.h"

struct OpenRegistryKey {
    RegistryHive hive = RegistryHive::LocalMachine;
    std::vector<std::wstring> path;
    REGSAM access = 0;
};

class CRegistryHandles {
public:
    static HKEY Add(OpenRegistryKey key);
    // The key a handle stands for: one of the two trees with every right, or an open handle;
    // nullopt for anything else.
    static std::optional<OpenRegistryKey> Resolve(HKEY handle);
    // False when the handle is not open; the two trees are always open.
    static bool Remove(HKEY handle);
};
