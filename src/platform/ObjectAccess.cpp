#include "platform/ObjectAccess.h"

#include "platform/LastError.h"
#include "platform/ProcessInfo.h"

namespace {

constexpr std::uint32_t kRootUserId = 0;

}  // namespace

std::optional<ObjectAccess> ObjectAccess::ForFolder(std::wstring_view folder) {
    FileStatus status;
    if (const DWORD error = QueryFileStatus(folder, status, true); error != ERROR_SUCCESS) {
        SetLastError(error);
        return std::nullopt;
    }
    if (!status.isDirectory) {
        SetLastError(ERROR_DIRECTORY);
        return std::nullopt;
    }
    return ObjectAccess(status);
}

bool ObjectAccess::Admits(const FileStatus& object) const {
    const bool trustedOwner = object.ownerId == kRootUserId ||
                              object.ownerId == GetEffectiveUserId() || object.ownerId == m_owner;
    const bool foreignGroupWrites = (object.mode & kGroupWrite) != 0 && object.groupId != m_group;
    return object.isRegularFile && trustedOwner && (object.mode & kOthersAll) == 0 &&
           !foreignGroupWrites;
}
