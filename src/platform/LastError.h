// The thread's last-error value: a system error code (the platform's numbering, such as 2 for
// a file that was not found) left by the routine that failed last on this thread. On Linux,
// errno values are mapped into that numbering here, at the edge of the system; Windows keeps
// the value itself.
#pragma once

#include "ZynTaskSchedulerLib/SystemErrors.h"

#ifdef _WIN32
#include <windows.h>
#else
DWORD GetLastError();
void SetLastError(DWORD error);

// The system error code for an errno value (ERROR_INVALID_FUNCTION for one without a better
// match). `missingParent` chooses between "file not found" and "path not found" for ENOENT.
DWORD Win32ErrorFromErrno(int errnoValue, bool missingParent = false);
#endif
