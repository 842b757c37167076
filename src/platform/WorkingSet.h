// Bounding the process's working set. Windows sets the bounds; Linux has no per-process bounds
// to set, and there handing the heap's unused memory back to the system is what keeps the
// working set small, and that is what a successful call does. Thread-safe.
#pragma once

#include <cstddef>

// Bounds in bytes. False, with ERROR_INVALID_PARAMETER and nothing done, when `minimum` is
// above `maximum`; otherwise trims the heap (Linux) or sets the bounds (Windows, which may
// refuse) and answers true.
bool SetProcessWorkingSetSize(std::size_t minimum, std::size_t maximum);
