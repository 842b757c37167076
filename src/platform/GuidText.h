// A GUID as text: its braced upper-case registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// as the system's StringFromGUID2 writes it. Thread-safe.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/Types.h"

std::wstring GuidText(REFGUID guid);
