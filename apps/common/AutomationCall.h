// Results of calls on the scheduler's automation interfaces, turned into the one line a person
// reads: what was being done, the result in hexadecimal and the description the failing call
// left in the thread's error record (or the system's text for the result when it left none).
// Thread-safe; each thread has its own error record.
#pragma once

#include <string>
#include <string_view>

#include "ZynTaskSchedulerLib/Types.h"

// Throws AppFailure("<action>: 0x80004005 <description>") for a failed result; answers it
// otherwise (S_FALSE stays the caller's to look at).
HRESULT CheckCall(HRESULT hr, std::wstring_view action);

// The description of the thread's error record, emptying it; the system text of `hr` when
// there is none.
std::wstring TakeErrorDescription(HRESULT hr);
