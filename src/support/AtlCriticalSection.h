// A recursive lock within the process: the owning thread may take it again, and gives it back
// as often. Lock ignores its time limit and always ends owning the lock. Keep a documented
// lock order between critical sections; ScopedLock holds one for a scope, and the
// thread-safety annotations let clang check guarded members against it.
#pragma once

#include <mutex>

#include "support/AtlSyncObject.h"
#include "support/ThreadAnnotations.h"

class CAPABILITY("mutex") CAtlCriticalSection : public CAtlSyncObject {
public:
    CAtlCriticalSection() = default;

    bool Lock(DWORD timeoutMs = INFINITE) override ACQUIRE();
    BOOL Unlock() override RELEASE();

private:
    std::recursive_mutex m_mutex;
};
