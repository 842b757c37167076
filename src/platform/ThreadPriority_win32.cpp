#include "platform/ThreadPriority.h"

#include "platform/KernelHandle.h"

bool SetSystemThreadPriority(DWORD threadId, int priority) {
    const KernelHandle thread(::OpenThread(THREAD_SET_INFORMATION, FALSE, threadId));
    return thread.IsValid() && ::SetThreadPriority(thread.Get(), priority) != FALSE;
}
