// What a scheduler configuration document asks for, read apart from applying it, so that a
// document is checked in full before the engine changes anything: "//TaskScheduler" with its
// WorkFolder (required) and its numbers, read the way a 32-bit wcstol reads them (no number
// reads as 0, values beyond 32 bits are clamped),
// with the engine's defaults for 0 and the attributes that keep the engine's value when absent.
//
// Pure and thread-safe. Failures raise E_FAIL (CEThrowError) with the documented messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

struct SchedulerConfiguration {
    static constexpr DWORD kDefaultPoolSize = 5;
    static constexpr DWORD kDefaultQueueSize = 50;

    std::wstring workFolder;
    DWORD workerThreadPoolSize = kDefaultPoolSize;  // 0, negative or absent: the default
    std::optional<DWORD> maxExecQueueSize;          // absent: keep; 0 or negative: the default
    std::optional<DWORD> maxWorkingSetSize;         // absent: keep; negative: 0
    bool loggingEnabled = false;                    // absent or 0: off
};

// nullopt for a document without a TaskScheduler element (nothing to change). Raises "Failed to
// load task scheduler config into XMLDOM. Error %s." for text that is not XML and "Failed to set
// task scheduler config. WorkFolder node not found" for an element without WorkFolder.
std::optional<SchedulerConfiguration> ReadSchedulerConfiguration(std::wstring_view document);
