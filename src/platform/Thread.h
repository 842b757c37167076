// A platform thread that starts suspended: it exists at once but runs its routine only after
// the first Resume. Suspending a running thread parks it at its next wait (Wait.h), where it
// takes nothing until it is resumed; it does not stop the thread wherever it stands.
//
// The owner controls the thread from other threads; every member may be called from any
// thread except Join, which the thread must not call on itself. Destroying the object joins a
// thread that has ended and leaves one that still runs (or was never resumed) to itself.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/ThreadParking.h"

#ifdef _WIN32
#include <windows.h>  // the THREAD_PRIORITY_ values
#else
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
#endif

class Thread {
public:
    // The thread is created, suspended, before this returns; `routine` must not throw. Null,
    // with the last-error value set, when the system cannot create it.
    static std::unique_ptr<Thread> Create(std::function<void()> routine);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Both answer the previous suspend count; the thread runs while the count is 0.
    DWORD Suspend();
    DWORD Resume();

    // Lower priorities raise the thread's nice value above the process's, higher ones lower
    // it (on Windows they are the thread's own priority). False when the system refuses
    // (raising a priority needs privilege); the thread then keeps its priority, which callers
    // may ignore.
    bool SetPriority(int priority);

    // True from creation until the routine has returned.
    bool IsRunning() const;
    // Waits, without a time limit, until the routine has returned.
    void Join();
    // The system's id of the thread.
    DWORD Id() const { return m_id; }

private:
    Thread() = default;

    std::shared_ptr<ThreadParking> m_parking;
    std::shared_ptr<std::atomic<bool>> m_running;
    std::thread m_thread;
    DWORD m_id = 0;
};
