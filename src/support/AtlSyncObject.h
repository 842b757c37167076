// The common face of the synchronisation wrappers (events, semaphores, mutexes, critical
// sections): Lock with a time limit, Unlock, and Release of counts, over one platform object
// that the wrapper owns and closes. Making a wrapper whose platform object cannot be made
// throws the system's failure as a bare HRESULT (HRESULT_FROM_WIN32 of the last error).
// Thread safety is that of the platform object: every operation may be called from any thread.
#pragma once

#include <memory>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WaitableObject.h"

class CAtlSyncObject {
public:
    CAtlSyncObject(const CAtlSyncObject&) = delete;
    CAtlSyncObject& operator=(const CAtlSyncObject&) = delete;

    // True when the object was acquired within `timeoutMs`: found signalled (an
    // automatic-reset event is then clear again), a count taken, the mutex owned.
    virtual bool Lock(DWORD timeoutMs = INFINITE);
    // Gives counts back; only semaphores have any, the others answer TRUE and do nothing.
    virtual BOOL Release(LONG count, LONG* previousCount);
    // Gives back what Lock took; nothing for an event.
    virtual BOOL Unlock();
    virtual ~CAtlSyncObject() = default;

protected:
    CAtlSyncObject() = default;

    // The platform object a Lock waits on; null when Lock is done otherwise.
    virtual WaitableObject* WaitHandle() { return nullptr; }

    // `made`, or the creation failure thrown as a bare HRESULT when it is null.
    template <class T>
    static std::unique_ptr<T> Required(std::unique_ptr<T> made) {
        if (!made) {
            ThrowLastError();
        }
        return made;
    }

private:
    [[noreturn]] static void ThrowLastError();
};
