// The suspension state of one thread made by Thread, shared by the Thread object that controls
// it and the thread itself. Suspending does not stop the thread where it stands: the thread
// parks at its next wait (Wait.h) and takes nothing while parked. A wait takes its object's
// signal while holding the lock that Suspend takes, so once Suspend has returned the thread
// can take nothing more until it is resumed. Thread-safe.
#pragma once

#include <condition_variable>
#include <mutex>

#include "ZynTaskSchedulerLib/Types.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#endif

class ThreadParking {
public:
    explicit ThreadParking(DWORD initialSuspendCount) : m_suspendCount(initialSuspendCount) {
        NoteSuspendCount();
    }
    ThreadParking(const ThreadParking&) = delete;
    ThreadParking& operator=(const ThreadParking&) = delete;

    // The parking of the calling thread; null on threads not made by Thread, which never park.
    static ThreadParking* Current();
    // Called once by the new thread before it runs anything else.
    static void SetCurrent(ThreadParking* parking);

    // Both answer the previous suspend count; the thread runs while the count is 0.
    DWORD Suspend();
    DWORD Resume();

    // Blocks the calling thread while it is suspended.
    void ParkWhileSuspended();
    // The lock held while the thread is not suspended, for a wait to take its object's signal
    // under it; when the thread is suspended, parks until it is resumed and answers an empty
    // lock instead, so that the wait looks at its objects again.
    std::unique_lock<std::mutex> HoldWhileRunning();

#ifdef _WIN32
    // Signalled while the thread is suspended: the system's wait watches it before the
    // objects, so that a suspension ends the wait before it takes anything more.
    HANDLE SuspendedSignal() const {
        return m_suspended.Get();
    }
#endif

private:
    // Called with m_mutex held whenever the count changes.
    void NoteSuspendCount();

    std::mutex m_mutex;
    std::condition_variable m_resumed;
    DWORD m_suspendCount;
#ifdef _WIN32
    KernelHandle m_suspended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
#endif
};
