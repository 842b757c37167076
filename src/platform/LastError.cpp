#include "platform/LastError.h"

#include <cerrno>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() {
    return t_lastError;
}

void SetLastError(DWORD error) {
    t_lastError = error;
}

DWORD Win32ErrorFromErrno(int errnoValue, bool missingParent) {
    switch (errnoValue) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return missingParent ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EWOULDBLOCK:
            return ERROR_LOCK_VIOLATION;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOMEM:
            return ERROR_OUTOFMEMORY;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EISDIR:
            return ERROR_DIRECTORY;
        case ELOOP:
            return ERROR_STOPPED_ON_SYMLINK;
        case EPIPE:
            return ERROR_BROKEN_PIPE;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        case ENOEXEC:
            return ERROR_BAD_EXE_FORMAT;
        case EIO:
            return ERROR_CANTWRITE;
        default:
            return ERROR_INVALID_FUNCTION;
    }
}
