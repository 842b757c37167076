// The lock count of the library this code is linked into: live objects of the library's
// classes and server locks (IClassFactory::LockServer). A server library answers
// DllCanUnloadNow from it. Each library that links the support layer has its own count, so a
// server library must keep the support layer's symbols to itself (hidden visibility, or
// -Wl,--exclude-libs,ALL). Thread-safe.
#pragma once

#include "ZynTaskSchedulerLib/HResults.h"

class ModuleLocks {
public:
    static void Lock();
    static void Unlock();
    static LONG Count();
    // DllCanUnloadNow: S_OK when the count is 0, else S_FALSE.
    static HRESULT CanUnloadNow();
};
