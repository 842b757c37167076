// The file a piece of code was loaded from, so that a library can name itself in its
// registration and find files beside it. Thread-safe.
#pragma once

#include <string>

// The full path of the library or program holding `address` (a function or object of it);
// empty when the system cannot say.
std::wstring ModuleFileOf(const void* address);
