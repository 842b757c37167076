// Text for system error codes and HRESULTs: on Linux English, from one table, in our own
// wording, ending with a full stop; on Windows the system's own messages. No line break.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

// The text for a system error code (the last-error numbering); empty when the code is unknown.
std::wstring SystemMessageText(DWORD errorCode);

// The system's own text for an HRESULT (for the Win32 facility, the text of its code); empty
// when there is none.
std::wstring HResultSystemText(HRESULT hr);

// The text for an HRESULT as a failure message shows it: the system text when there is one
// (for the Win32 facility, the text of its code), else "IDispatch error #%d" for the
// automation range 0x80040200 to 0x8004FFFF, else "Unknown error 0x%0lX".
std::wstring HResultText(HRESULT hr);
