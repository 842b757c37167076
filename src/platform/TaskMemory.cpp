// Memory that crosses from callee to caller; both sides share this one allocator because the
// runtime is one shared library.
#include <cstdlib>

#include "ZynTaskSchedulerLib/Runtime.h"

void* CoTaskMemAlloc(std::size_t cb) {
    return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(void* pv) {
    std::free(pv);
}
