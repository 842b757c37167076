// A mutex shared by every process that opens the same name, usable only by the accounts that
// may write the folder it guards (ObjectAccess): no other account can take it, hold it or
// corrupt it. The owning thread may acquire it again (each Acquire needs its Release). When
// the owner dies, or its thread ends, holding it, the next Acquire gets it and answers
// WAIT_ABANDONED: acquired all the same, though what it guarded may be half-done.
//
// Any thread may open, acquire and release; only the owning thread releases. Waits here are
// not points where a suspended Thread parks. Closing does not release ownership. Callers wait
// with a time limit: another process may hold the mutex as long as it likes.
#pragma once

#include <memory>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/SharedMemory.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#endif

class NamedMutex {
public:
    // Opens the mutex called `name`, creating it, not owned and with `access`, when no process
    // holds it. Null, with the last-error value set, when the name is unusable, the mutex found
    // is not admitted and may not be replaced (ERROR_ACCESS_DENIED) or the system refuses.
    // Within one process, every opener of a name shares the first opener's object.
    static std::unique_ptr<NamedMutex> Open(std::wstring_view name, const ObjectAccess& access);

    // WAIT_OBJECT_0 or WAIT_ABANDONED when acquired; WAIT_TIMEOUT when `timeoutMs` passed
    // first (INFINITE: no limit; 0: only a look); WAIT_FAILED with the last-error value set.
    // A limit is measured on the wall clock, so setting the clock meanwhile stretches or
    // shortens it.
    DWORD Acquire(DWORD timeoutMs);
    // False, with ERROR_NOT_OWNER, when the calling thread does not own the mutex.
    bool Release();

private:
#ifdef _WIN32
    explicit NamedMutex(KernelHandle mutex) : m_mutex(std::move(mutex)) {}

    KernelHandle m_mutex;  // the system's mutex: owned per thread, abandoned by a dead owner
#else
    explicit NamedMutex(std::shared_ptr<SharedMemory> memory) : m_memory(std::move(memory)) {}

    std::shared_ptr<SharedMemory> m_memory;  // shared with this process's other openers
#endif
};
