// Checks of caller-supplied pointers before they are used, so that a bad address from an
// automation client fails the call instead of the process. Neither check reads or writes the
// memory through the pointer, and neither changes it; both look at the memory as it is
// mapped at the moment of the call, so memory released by another thread right afterwards
// still faults. Thread-safe; no failure sets the last-error value.
#pragma once

#include <cstddef>

// Whether every one of the `size` bytes at `address` can be read. A null address never can;
// a zero size asks nothing of any other address.
bool IsReadableMemory(const void* address, std::size_t size);

// Whether every one of the `size` bytes at `address` can be both read and written. A null
// address never can; a zero size asks nothing of any other address.
bool IsWritableMemory(const void* address, std::size_t size);
