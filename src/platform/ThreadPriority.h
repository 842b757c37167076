// The system's side of Thread::SetPriority. Thread-safe.
#pragma once

#include "ZynTaskSchedulerLib/Types.h"

// Gives the thread `threadId` of this process the priority `priority` (a THREAD_PRIORITY_
// value). False, with the last-error value set, when the system refuses.
bool SetSystemThreadPriority(DWORD threadId, int priority);
