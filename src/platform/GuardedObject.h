// Opening the named objects that guard a folder, shared-memory objects and lock files alike,
// so that only the accounts ObjectAccess names can use them. A missing object is created
// exclusively (so that we know we made it) and then given its group and mode. An existing one
// that the access does not admit, squatted or left behind with a wider mode, is never used:
// root removes the name and makes its own (root may remove any name, also in the sticky
// shared-memory folder), and so does a process whose own object it is; anyone else is
// refused. Another process that still has the removed object open keeps it, unshared.
//
// Thread-safe; the caller owns the descriptor.
#pragma once

#include <chrono>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/ObjectAccess.h"

enum class ObjectSpace {
    SharedMemory,  // names of the system's shared memory, "/name"
    Files,         // paths
};

// The object `name` open for reading and writing (close-on-exec, links not followed), created
// with `access` when missing. Invalid, with the last-error value set, when it cannot be had:
// ERROR_ACCESS_DENIED for an object that is not admitted and that this process may not replace.
FileDescriptor OpenGuardedObject(ObjectSpace space, const std::string& name,
                                 const ObjectAccess& access);

// Takes the lock of the object open as `file` (shared or exclusive, as flock does), trying again
// and again until `limit` has passed: another process may hold it as long as it likes, and no
// caller waits for ever. ERROR_SUCCESS; ERROR_LOCK_VIOLATION when it was still held at the limit.
DWORD LockGuardedObject(int file, bool exclusive, std::chrono::milliseconds limit);
