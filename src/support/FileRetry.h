// The retry rule for opening and deleting files: a file that is busy for the moment is tried
// again for a fixed time instead of failing at once; a refusal that does not clear by itself
// (IsTransientFileError, access denied among them) fails at once, so that one unreadable file
// does not hold the scheduler thread for the whole retry time. The pause between tries is a
// process-wide setting so that tests need not wait for real seconds.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

class FileRetry {
public:
    static constexpr int kRetries = 15;
    static constexpr std::chrono::milliseconds kDefaultPause{1000};

    // Runs `attempt` (answering a system error code); on a transient failure it logs and tries
    // up to kRetries more times, pausing before each. The result is
    // ERROR_SUCCESS, the first error of another kind, or after the last retry the first
    // attempt's error. `operation` names the attempt in the log ("create", "delete").
    static DWORD Run(const wchar_t* operation, std::wstring_view path,
                     const std::function<DWORD()>& attempt);

    static void SetPause(std::chrono::milliseconds pause);
};
