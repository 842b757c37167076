#include "platform/WorkingSet.h"

#include <windows.h>

bool SetProcessWorkingSetSize(std::size_t minimum, std::size_t maximum) {
    if (minimum > maximum) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return ::SetProcessWorkingSetSize(::GetCurrentProcess(), minimum, maximum) != FALSE;
}
