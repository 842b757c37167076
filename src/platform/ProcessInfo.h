// Facts about the running process and machine that records carry and checks need: host name,
// program name, process, thread and user ids, and a millisecond tick count. Thread-safe; nothing
// here fails (an unknown name is empty).
#pragma once

#include <cstdint>
#include <string>

#include "ZynTaskSchedulerLib/Types.h"

std::wstring GetHostName();
// The full path of the program the process runs; empty when the system cannot say.
std::wstring CurrentProcessImagePath();
// The file name (without folder) of the program the process runs.
std::wstring CurrentProcessImageName();
#ifdef _WIN32
#include <windows.h>  // GetCurrentProcessId, GetCurrentThreadId, GetTickCount
#else
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
#endif
// The user the process acts as (the effective user: the one files it makes belong to).
std::uint32_t GetEffectiveUserId();
#ifndef _WIN32
// Milliseconds since the system started, wrapping like the platform's 32-bit tick count.
DWORD GetTickCount();
#endif
// The value of an environment variable; `found` tells an empty value from a missing one.
std::wstring GetEnvironmentText(const char* name, bool& found);
bool SetEnvironmentText(const char* name, const std::wstring& value);
bool ClearEnvironmentText(const char* name);
