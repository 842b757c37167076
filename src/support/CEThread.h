// The base of every thread the library starts. A CCEThread owns its platform thread, the two
// events that end it and its name, and runs a fixed loop on the new thread (ThreadMain): one
// cycle of the derived class's work (Process) after another until Stop, every failure of a
// cycle contained in an error entry of the log under the thread's name, and the working set
// optionally trimmed after each cycle.
//
// The thread is created suspended; the derived class resumes it (ResumeThread) when it wants
// it to run, typically at the end of its own constructor. Suspending parks the thread at its
// next wait. Stop and destruction are the owner's, never the thread's own: a derived
// destructor calls Stop before its own members go. KillEvent and StopEvent are the only state
// the owner and the thread share. Counted through CCERefCountBase.
#pragma once

#include <memory>
#include <string>

#include "platform/Thread.h"
#include "support/AtlEvent.h"
#include "support/RefCountBase.h"

class CCEThread : public CCERefCountBase {
public:
    // Creates the thread, suspended, when `createThread` is set, with `priority` (one of the
    // THREAD_PRIORITY_ values; a refused priority is ignored). When the thread cannot be
    // created, a warning trace is written and HRESULT_FROM_WIN32 of the last error is thrown
    // as a bare HRESULT.
    CCEThread(std::wstring name, int priority, bool createThread = true);
    ~CCEThread() override;

    // Ends the cycle loop: sets StopEvent, and when the thread still runs, sets KillEvent,
    // resumes the thread if it is suspended (a suspended thread would never end), waits for it
    // without a time limit and clears KillEvent again. Then lets go of the thread; a second Stop
    // finds none.
    void Stop();
    std::wstring GetThreadName() const { return m_name; }
    // Both answer the previous suspend count, or 0xFFFFFFFF when there is no thread.
    DWORD ResumeThread();
    DWORD SuspendThread();

protected:
    // Called on the thread once before the first cycle and after every cycle; must not throw.
    virtual DWORD WaitForNextCycle() { return 0; }
    // One cycle of the thread's work; whatever it throws is contained by the loop.
    virtual HRESULT Process() = 0;
    // 0: no COM; 1: a single-threaded apartment; 2: the multithreaded apartment.
    virtual int GetComApartment() { return 0; }
    // True when the working set is to be bounded after each cycle, with the bounds written.
    virtual bool GetWorkingSetLimits(DWORD& /*minimum*/, DWORD& /*maximum*/) { return false; }

    // Asks a running cycle to give up at once; every derived cycle puts it first in its waits.
    CAtlEvent KillEvent{FALSE, TRUE};
    // Ends the cycle loop; looked at between cycles.
    CAtlEvent StopEvent{FALSE, TRUE};

private:
    static constexpr int kSingleThreadedApartment = 1;
    static constexpr int kMultithreadedApartment = 2;

    void ThreadMain();
    void EnterApartment(int apartment);
    void RunCycle();
    void TrimWorkingSet();
    void KillIfRunning();

    const std::wstring m_name;
    std::unique_ptr<Thread> m_thread;  // null when not created, and after Stop
};
