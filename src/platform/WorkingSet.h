// Bounding the process's working set. The system here has no per-process bounds to set;
// handing the heap's unused memory back to it is what keeps the working set small, and that
// is what a successful call does. Thread-safe.
#pragma once

#include <cstddef>

// Bounds in bytes. False, with ERROR_INVALID_PARAMETER and nothing done, when `minimum` is
// above `maximum`; otherwise trims the heap and answers true.
bool SetProcessWorkingSetSize(std::size_t minimum, std::size_t maximum);
