#include "common/WorkFolderSafety.h"

#include <vector>

#include "common/AppFailure.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/SystemMessage.h"
#include "platform/WideText.h"

namespace {

constexpr std::uint32_t kOwnerOnlyFolderMode = 0700;
constexpr std::uint32_t kGroupOrOthersWrite = 0022;
constexpr wchar_t kWriteProbeName[] = L".zyntaskd-write-check";

[[noreturn]] void ThrowCannotCreate(const std::wstring& folder, DWORD error) {
    throw AppFailure{L"cannot create the work folder " + folder + L": " + SystemMessageText(error)};
}

bool Exists(const std::wstring& path) {
    FileStatus status;
    return QueryFileStatus(path, status, true) == ERROR_SUCCESS;
}

// The folders from `folder` up that do not exist yet, the topmost first.
std::vector<std::wstring> MissingFolders(const std::wstring& folder) {
    std::vector<std::wstring> missing;
    for (std::wstring path = folder; !path.empty() && !Exists(path); path = ParentPath(path)) {
        missing.insert(missing.begin(), path);
        if (ParentPath(path) == path) {
            break;  // a root that does not exist
        }
    }
    return missing;
}

}  // namespace

void WorkFolderSafety::Prepare(const std::wstring& folder) {
    if (!IsAbsolutePath(folder)) {
        throw AppFailure{L"the work folder must be an absolute path, not " + folder};
    }
    const std::vector<std::wstring> created = MissingFolders(folder);
    for (const std::wstring& path : created) {
        if (const DWORD error = MakeDirectory(path, kOwnerOnlyFolderMode); error != ERROR_SUCCESS) {
            ThrowCannotCreate(path, error);
        }
    }
    // When the work folder was made here it is the last of `created`.
    std::vector<std::wstring> checked = created.empty() ? std::vector{folder} : created;
    for (const std::wstring& path : checked) {
        CheckOwnership(path);
    }
    CheckWritable(folder);
}

void WorkFolderSafety::CheckOwnership(const std::wstring& folder) {
    FileStatus status;
    if (const DWORD error = QueryFileStatus(folder, status, true); error != ERROR_SUCCESS) {
        ThrowCannotCreate(folder, error);
    }
    if (!status.isDirectory) {
        throw AppFailure{L"the work folder " + folder + L" is not a folder"};
    }
    if (status.ownerId != GetEffectiveUserId()) {
        throw AppFailure{FormatText(256 + folder.size(),
                                    L"the work folder %ls belongs to user %u, not to this "
                                    L"program's user %u: whoever owns it decides which programs "
                                    L"run; chown it or choose another folder",
                                    folder.c_str(), status.ownerId, GetEffectiveUserId())};
    }
    if ((status.mode & kGroupOrOthersWrite) != 0) {
        throw AppFailure{FormatText(256 + 2 * folder.size(),
                                    L"the work folder %ls is writable by group or others (mode "
                                    L"%04o): whoever can write a task there runs programs as "
                                    L"the scheduler's user; run chmod go-w %ls",
                                    folder.c_str(), status.mode, folder.c_str())};
    }
}

void WorkFolderSafety::CheckWritable(const std::wstring& folder) {
    const std::wstring probe = JoinPath(folder, kWriteProbeName);
    if (const DWORD error = TouchFile(probe); error != ERROR_SUCCESS) {
        throw AppFailure{L"cannot write the work folder " + folder + L": " +
                         SystemMessageText(error)};
    }
    RemoveFile(probe);
}
