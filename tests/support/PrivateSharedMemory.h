// Gives the calling thread, and every process it starts afterwards, a shared-memory folder of
// its own (a fresh tmpfs over /dev/shm in a mount namespace of its own), so that a test can
// squat or break the names every process on the machine shares without touching theirs.
// Needs root. Call it before starting the threads or processes that should see it.
#pragma once

#include <string>

// Empty when done, else why it could not be.
std::string UsePrivateSharedMemory(bool readOnly = false);
