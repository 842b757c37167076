// The common ground of everything a thread can wait for: events, semaphores, folder watches,
// clock watches and, later, processes. Each object owns a descriptor that polls readable while
// the object is signalled; the waits of Wait.h poll those descriptors and then ask the object
// to hand its signal to the waiting thread. Objects are made and destroyed by their owner, who
// must keep them alive while any thread waits on them.
#pragma once

class WaitableObject {
public:
    WaitableObject() = default;
    WaitableObject(const WaitableObject&) = delete;
    WaitableObject& operator=(const WaitableObject&) = delete;
    virtual ~WaitableObject() = default;

#ifdef _WIN32
    // The kernel object (a HANDLE) that the system's wait watches; owned by the object.
    virtual void* SignalHandle() const = 0;
#else
    // The descriptor that is readable while the object is signalled; owned by the object.
    virtual int SignalDescriptor() const = 0;
#endif

    // Called by a wait that saw the descriptor readable, to decide whether the wait is
    // satisfied by this object. Takes what a satisfied wait takes (an automatic-reset event's
    // signal, one semaphore count, a watch's pending changes) and answers true; answers false
    // when nothing was there to take (another waiter was first, or the pending changes did not
    // matter), and the wait goes on. A false answer must leave the descriptor readable only
    // when a signal is still there to take, or the wait would spin. Never blocks. Runs on the
    // waiting thread. On Windows the system's wait has already taken an event's signal or a
    // semaphore's count when it picks the object; ClaimSignal then does what remains.
    virtual bool ClaimSignal() = 0;
};
