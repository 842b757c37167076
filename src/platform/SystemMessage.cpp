#include "platform/SystemMessage.h"

#include "ZynTaskSchedulerLib/HResults.h"
#include "platform/LastError.h"
#include "platform/WideText.h"

namespace {

struct MessageEntry {
    DWORD code;
    const wchar_t* text;
};

constexpr MessageEntry kSystemErrors[] = {
    {ERROR_SUCCESS, L"The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, L"The function is not valid for this object."},
    {ERROR_FILE_NOT_FOUND, L"The file does not exist."},
    {ERROR_PATH_NOT_FOUND, L"A folder on the path does not exist."},
    {ERROR_TOO_MANY_OPEN_FILES, L"Too many files are open."},
    {ERROR_ACCESS_DENIED, L"Access is denied."},
    {ERROR_INVALID_HANDLE, L"The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, L"There is not enough memory to complete the command."},
    {ERROR_INVALID_DATA, L"The data is not valid."},
    {ERROR_OUTOFMEMORY, L"There is not enough memory to complete the operation."},
    {ERROR_WRITE_PROTECT, L"The medium is write-protected."},
    {ERROR_NOT_READY, L"The device is not ready."},
    {ERROR_SHARING_VIOLATION, L"The file is in use by another process."},
    {ERROR_LOCK_VIOLATION, L"Part of the file is locked by another process."},
    {ERROR_HANDLE_EOF, L"The end of the file was reached."},
    {ERROR_NOT_SUPPORTED, L"The request is not supported."},
    {ERROR_FILE_EXISTS, L"The file exists."},
    {ERROR_CANNOT_MAKE, L"The file or folder cannot be created."},
    {ERROR_INVALID_PARAMETER, L"The parameter is not valid."},
    {ERROR_BROKEN_PIPE, L"The pipe has been ended."},
    {ERROR_DISK_FULL, L"There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, L"The data area passed is too small."},
    {ERROR_INVALID_NAME, L"The file name, folder name or volume label syntax is not valid."},
    {ERROR_MOD_NOT_FOUND, L"The library could not be found."},
    {ERROR_PROC_NOT_FOUND, L"The entry point could not be found in the library."},
    {ERROR_MORE_DATA, L"More data is available than the buffer holds."},
    {ERROR_DIR_NOT_EMPTY, L"The folder is not empty."},
    {ERROR_BUSY, L"The resource is in use."},
    {ERROR_ALREADY_EXISTS, L"A file or folder of that name already exists."},
    {ERROR_BAD_EXE_FORMAT, L"The file is not a program the system can run."},
    {ERROR_FILENAME_EXCED_RANGE, L"The file name or path is too long."},
    {ERROR_NO_MORE_ITEMS, L"No more data is available."},
    {ERROR_DIRECTORY, L"The folder name is not valid."},
    {ERROR_NOT_OWNER, L"The mutex cannot be released by a thread that does not own it."},
    {ERROR_TOO_MANY_POSTS, L"The semaphore cannot be raised above its maximum count."},
    {ERROR_STOPPED_ON_SYMLINK, L"The operation stopped at a symbolic link."},
    {ERROR_FILE_INVALID, L"The volume for the file was changed from outside."},
    {ERROR_BADDB, L"The settings store is corrupt."},
    {ERROR_BADKEY, L"The settings key is not valid."},
    {ERROR_KEY_DELETED, L"The settings key has been deleted."},
    {ERROR_CANTOPEN, L"The file could not be opened."},
    {ERROR_CANTREAD, L"The file could not be read."},
    {ERROR_CANTWRITE, L"The file could not be written."},
    {ERROR_NO_UNICODE_TRANSLATION, L"The text holds characters that have no Unicode form."},
    {ERROR_TIMEOUT, L"The operation returned because the time-out period expired."},
};

struct HResultEntry {
    HRESULT hr;
    const wchar_t* text;
};

constexpr HResultEntry kHResults[] = {
    {S_OK, L"The operation completed successfully."},
    {S_FALSE, L"The operation completed with a false answer."},
    {E_NOTIMPL, L"Not implemented."},
    {E_NOINTERFACE, L"No such interface supported."},
    {E_POINTER, L"Invalid pointer."},
    {E_ABORT, L"Operation aborted."},
    {E_FAIL, L"Unspecified error."},
    {E_UNEXPECTED, L"Catastrophic failure."},
    {DISP_E_UNKNOWNINTERFACE, L"Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, L"Member not found."},
    {DISP_E_PARAMNOTFOUND, L"Parameter not found."},
    {DISP_E_TYPEMISMATCH, L"Type mismatch."},
    {DISP_E_UNKNOWNNAME, L"Unknown name."},
    {DISP_E_NONAMEDARGS, L"No named arguments."},
    {DISP_E_BADVARTYPE, L"Bad variable type."},
    {DISP_E_EXCEPTION, L"Exception occurred."},
    {DISP_E_OVERFLOW, L"Out of present range."},
    {DISP_E_BADINDEX, L"Invalid index."},
    {DISP_E_BADPARAMCOUNT, L"Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, L"Parameter not optional."},
    {CLASS_E_NOAGGREGATION, L"Class does not support aggregation."},
    {CLASS_E_CLASSNOTAVAILABLE, L"The class factory cannot supply the requested class."},
    {REGDB_E_READREGDB, L"Could not read key from registry."},
    {REGDB_E_WRITEREGDB, L"Could not write key to registry."},
    {REGDB_E_CLASSNOTREG, L"Class not registered."},
    {CO_E_NOTINITIALIZED, L"The object runtime has not been initialised on this thread."},
    {CO_E_CLASSSTRING, L"Invalid class string."},
    {CO_E_DLLNOTFOUND, L"The library of the class could not be found."},
    {CO_E_ERRORINDLL, L"The library of the class could not be loaded."},
    {RPC_E_CHANGED_MODE, L"Cannot change the thread mode after it is set."},
};

constexpr WORD kFacilityWin32 = 7;

}  // namespace

std::wstring SystemMessageText(DWORD errorCode) {
    for (const auto& entry : kSystemErrors) {
        if (entry.code == errorCode) {
            return entry.text;
        }
    }
    return {};
}

std::wstring HResultSystemText(HRESULT hr) {
    for (const auto& entry : kHResults) {
        if (entry.hr == hr) {
            return entry.text;
        }
    }
    if (FAILED(hr) && HRESULT_FACILITY(hr) == kFacilityWin32) {
        return SystemMessageText(HRESULT_CODE(hr));
    }
    return {};
}
