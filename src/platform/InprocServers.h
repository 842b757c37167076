// The in-process server libraries this process has loaded, by path: each is loaded on the
// first activation of one of its classes and kept until FreeUnused finds it unused, or the
// process ends. Thread-safe.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/HResults.h"

class CInprocServers {
public:
    // Loads the library at `path` when needed and asks it for the class object.
    static HRESULT GetClassObject(const std::wstring& path, REFCLSID rclsid, REFIID riid,
                                  void** ppv);
    // Unloads every library that answers DllCanUnloadNow with S_OK and is not being asked for
    // a class object at that moment.
    static void FreeUnused();
};
