#include "platform/WorkingSet.h"

#include <malloc.h>

#include "platform/LastError.h"

bool SetProcessWorkingSetSize(std::size_t minimum, std::size_t maximum) {
    if (minimum > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    ::malloc_trim(0);
    return true;
}
