// Where the settings trees live and how they are read and changed: one file per tree in the
// registry root folder, read whole, and changed only under an exclusive lock on the root's
// ".lock" file, which serialises writers of every process; the new text replaces the file
// atomically and is flushed to disk before the lock is released. Readers take no lock: a file
// is always one whole tree. The lock file is usable only by those who may write the root
// (ObjectAccess), and a writer waits for it at most 30 s. Thread-safe. Failures are system
// error codes: ERROR_BADDB for a file that is not a tree, ERROR_ACCESS_DENIED for a root that
// cannot be written or a lock file this process may not use, ERROR_LOCK_VIOLATION when another
// process held the lock past the limit.
#pragma once

#include <functional>
#include <string>

#include "ZynTaskSchedulerLib/Registry.h"
#include "platform/RegistryTree.h"

enum class RegistryHive { ClassesRoot, LocalMachine };

// The root folder: $ZYN_REGISTRY, read at every call so that tests can point it elsewhere, or
// the default documented in Registry.h.
std::wstring RegistryRootFolder();
const wchar_t* RegistryHiveName(RegistryHive hive);

// Loads the tree into the empty `root`; a tree never written is empty.
LSTATUS LoadRegistryHive(RegistryHive hive, CRegistryTree& root);
// Whether this process can write the store, creating the root folder when missing.
LSTATUS CheckRegistryWritable();

// Runs `change` on the current tree under the writers' lock and stores the tree when `change`
// answers ERROR_SUCCESS and says it changed something. The answer is that of `change`, or the
// failure to load or store.
using RegistryChange = std::function<LSTATUS(CRegistryTree& root, bool& changed)>;
LSTATUS UpdateRegistryHive(RegistryHive hive, const RegistryChange& change);
