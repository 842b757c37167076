#include "support/Folders.h"

#include <string>
#include <vector>

#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/SystemMessage.h"
#include "support/FileRetry.h"
#include "support/LogCall.h"

namespace {

constexpr wchar_t kProbeFileName[] = L"tstwrtfl.tmp";

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

bool Succeed() {
    SetLastError(ERROR_SUCCESS);
    return true;
}

// Clears the obstacle the system named: the owner's missing write permission, and when
// that is not enough, the ownership itself.
DWORD TakeAccessToFile(std::wstring_view path) {
    const DWORD error = TakeOwnership(path);
    if (error != ERROR_SUCCESS) {
        const std::wstring pathText(path);
        CEReportEventFormat(CE_SEVERITY_TRACE, L"GrabAccessToFile",
                            L"Failed to take ownership over '%ls': %ls (0x%08X).", pathText.c_str(),
                            SystemMessageText(error).c_str(), error);
    }
    return error;
}

DWORD DeleteWithAccessTaken(std::wstring_view path) {
    if (MakeOwnerWritable(path) == ERROR_SUCCESS && RemoveFile(path) == ERROR_SUCCESS) {
        return ERROR_SUCCESS;
    }
    const DWORD accessError = TakeAccessToFile(path);
    if (accessError != ERROR_SUCCESS) {
        const std::wstring pathText(path);
        CEReportEventFormat(CE_SEVERITY_TRACE, L"DeleteFileEx",
                            L"Failed to gain access to '%ls': %ls (0x%08X).", pathText.c_str(),
                            SystemMessageText(accessError).c_str(), accessError);
        return accessError;
    }
    return RemoveFile(path);
}

// Whether the path names a folder (through links); a path that cannot be read leaves its
// error as the last error.
bool IsFolder(std::wstring_view path, bool& exists) {
    FileStatus status;
    const DWORD error = QueryFileStatus(path, status, true);
    exists = error == ERROR_SUCCESS;
    SetLastError(error);
    return exists && status.isDirectory;
}

void RemoveFolderContent(std::wstring_view path, bool logFailures, bool force) {
    std::vector<DirectoryEntry> entries;
    if (ListDirectory(path, entries) != ERROR_SUCCESS) {
        return;
    }
    for (const DirectoryEntry& entry : entries) {
        const std::wstring child = JoinPath(path, entry.name);
        if (entry.isDirectory) {
            RemoveDirectoryTree(child, logFailures, force);
            continue;
        }
        const DWORD error = force ? (DeleteFileEx(child, true) ? ERROR_SUCCESS : GetLastError())
                                  : RemoveFile(child);
        if (error != ERROR_SUCCESS && logFailures) {
            CEReportEventWithError(CE_SEVERITY_WARNING, L"RemoveDirectoryTree", error,
                                   L"Cannot delete file '%ls'", child.c_str());
        }
    }
}

}  // namespace

bool CreateDirectoryPath(std::wstring_view path, std::uint32_t mode, bool quiet) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DirectoryExists(path)) {
        return Succeed();
    }
    DWORD error = MakeDirectory(path, mode);
    if (error == ERROR_PATH_NOT_FOUND) {
        const std::wstring parent = ParentPath(path);
        if (parent.empty() || parent == path || !CreateDirectoryPath(parent, mode, quiet)) {
            return Fail(parent.empty() || parent == path ? error : GetLastError());
        }
        error = MakeDirectory(path, mode);
    }
    if (error == ERROR_SUCCESS) {
        return Succeed();
    }
    // Someone else may have made it meanwhile; a file of that name is no folder.
    if (error == ERROR_ALREADY_EXISTS && DirectoryExists(path)) {
        return Succeed();
    }
    if (!quiet) {
        const std::wstring pathText(path);
        CEReportEventFormat(CE_SEVERITY_WARNING, L"CreateDirectoryPath",
                            L"Cannot create directory '%ls', error: %ls (0x%08X)", pathText.c_str(),
                            SystemMessageText(error).c_str(), error);
    }
    return Fail(error);
}

bool CreateTargetDir(std::wstring_view path) {
    DWORD error = ERROR_SUCCESS;
    if (!CreateDirectoryPath(path)) {
        error = GetLastError();
    } else {
        const std::wstring probe = JoinPath(path, kProbeFileName);
        error = TouchFile(probe);
        if (error == ERROR_SUCCESS) {
            RemoveFile(probe);
            return Succeed();
        }
    }
    const std::wstring pathText(path);
    CEReportEventFormat(CE_SEVERITY_WARNING, L"CreateTargetDir",
                        L"Cannot write to directory: 0x%08X [%ls] %ls",
                        static_cast<unsigned>(HRESULT_FROM_WIN32(error)),
                        SystemMessageText(error).c_str(), pathText.c_str());
    return Fail(error);
}

bool RemoveDirectoryTree(std::wstring_view path, bool logFailures, bool force) {
    FileStatus status;
    const DWORD statusError = QueryFileStatus(path, status);
    if (statusError != ERROR_SUCCESS) {
        return Fail(statusError);
    }
    if (status.isSymbolicLink) {
        const DWORD error = RemoveFile(path);
        return error == ERROR_SUCCESS ? Succeed() : Fail(error);
    }
    RemoveFolderContent(path, logFailures, force);
    DWORD error = RemoveEmptyDirectory(path);
    if (error == ERROR_ACCESS_DENIED && force && TakeAccessToFile(path) == ERROR_SUCCESS) {
        error = RemoveEmptyDirectory(path);
    }
    return error == ERROR_SUCCESS ? Succeed() : Fail(error);
}

bool DeleteFileEx(std::wstring_view path, bool retry) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD error = RemoveFile(path);
    if (error == ERROR_ACCESS_DENIED) {
        error = DeleteWithAccessTaken(path);
    }
    if (error == ERROR_SUCCESS) {
        return Succeed();
    }
    if (!retry) {
        return Fail(error);
    }
    error = FileRetry::Run(L"delete", path, [path] { return RemoveFile(path); });
    return error == ERROR_SUCCESS ? Succeed() : Fail(error);
}

bool DirectoryExists(std::wstring_view path) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    bool exists = false;
    return IsFolder(path, exists);
}

bool FileExists(std::wstring_view path) {
    if (path.empty()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    bool exists = false;
    return !IsFolder(path, exists) && exists;
}
