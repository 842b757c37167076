// Waiting for one of several objects: the stand-in for the system's wait on handles. Any mix
// of WaitableObjects may be waited on, by any number of threads at once.
//
// Results: WAIT_OBJECT_0 + i when object i satisfied the wait (of several signalled objects the
// lowest index wins, and only the winner's signal is taken: one automatic-reset signal or one
// semaphore count), WAIT_TIMEOUT when the time limit passed first, WAIT_FAILED with the
// last-error value set when the wait could not be made (no objects, more than
// MAXIMUM_WAIT_OBJECTS, a null or closed object).
//
// Parking: a thread made by Thread that is suspended while it waits, or that reaches a wait
// while suspended, stays inside the wait until it is resumed and takes nothing meanwhile; once
// resumed it looks at the objects again. A wait whose time limit passed while its thread was
// parked still takes an object that is signalled when it looks again.
#pragma once

#include <initializer_list>
#include <span>

#include "ZynTaskSchedulerLib/Types.h"
#include "platform/WaitableObject.h"

#ifdef _WIN32
// The results are the system's. A thread made by Thread waits on one object fewer: its
// suspension takes the first place of the system's wait.
#include <windows.h>
#else
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;
#endif

// `timeoutMs` is INFINITE for no limit; 0 looks once without blocking.
DWORD WaitAny(std::span<WaitableObject* const> objects, DWORD timeoutMs);
inline DWORD WaitAny(std::initializer_list<WaitableObject*> objects, DWORD timeoutMs) {
    return WaitAny(std::span<WaitableObject* const>(objects.begin(), objects.size()), timeoutMs);
}
inline DWORD WaitOne(WaitableObject& object, DWORD timeoutMs) {
    return WaitAny({&object}, timeoutMs);
}
