// Raising failures as COM errors: the HRESULT travels with an error record whose description
// says what went wrong. Both routines always throw ComError.
#pragma once

#include <string_view>

#include "platform/ComError.h"

// Description "<message> <the system's text for hr>"; the record's GUID and source stay unset.
// Without memory for a record, the error carries the HRESULT alone.
[[noreturn]] void CEThrowError(HRESULT hr, std::wstring_view message);
// The description is `description` exactly, as when a guard passes a failure on.
[[noreturn]] void ThrowWithDescription(HRESULT hr, std::wstring_view description);
