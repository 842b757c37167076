// A mutex shared by every process that opens the same name, usable by every local account.
// The owning thread may acquire it again (each Acquire needs its Release). When the owner
// dies, or its thread ends, holding it, the next Acquire gets it and answers WAIT_ABANDONED:
// acquired all the same, though what it guarded may be half-done.
//
// Any thread may open, acquire and release; only the owning thread releases. Waits here are
// not points where a suspended Thread parks. Closing does not release ownership.
#pragma once

#include <memory>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/SharedMemory.h"

class NamedMutex {
public:
    // Opens the mutex called `name`, creating it, not owned, when no process holds it. Null,
    // with the last-error value set, when the name is unusable or the system refuses.
    static std::unique_ptr<NamedMutex> Open(std::wstring_view name);

    // WAIT_OBJECT_0 or WAIT_ABANDONED when acquired; WAIT_TIMEOUT when `timeoutMs` passed
    // first (INFINITE: no limit; 0: only a look); WAIT_FAILED with the last-error value set.
    // A limit is measured on the wall clock, so setting the clock meanwhile stretches or
    // shortens it.
    DWORD Acquire(DWORD timeoutMs);
    // False, with ERROR_NOT_OWNER, when the calling thread does not own the mutex.
    bool Release();

private:
    explicit NamedMutex(std::shared_ptr<SharedMemory> memory) : m_memory(std::move(memory)) {}

    std::shared_ptr<SharedMemory> m_memory;  // shared with this process's other openers
};
