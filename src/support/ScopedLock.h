// Holds a critical section from construction to the end of the scope. Used on one thread;
// not copyable.
#pragma once

#include "support/AtlCriticalSection.h"
#include "support/ThreadAnnotations.h"

class SCOPED_CAPABILITY ScopedLock {
public:
    explicit ScopedLock(CAtlCriticalSection& lock) ACQUIRE(lock) : m_lock(lock) { m_lock.Lock(); }
    ~ScopedLock() RELEASE() { m_lock.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CAtlCriticalSection& m_lock;
};
