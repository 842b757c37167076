#include "common/FolderHolder.h"

#include "ZynTaskSchedulerLib/WorkFolder.h"
#include "platform/Path.h"
#include "platform/WideText.h"

WorkFolderLock::HolderInfo FolderHolder::Of(const std::wstring& workFolder) {
    return WorkFolderLock::Holder(
        JoinPath(JoinPath(workFolder, kWorkFolderLockFolderName), kWorkFolderLockFileName));
}

std::wstring FolderHolder::Describe(DWORD processId) {
    return processId == 0 ? std::wstring(L"another scheduler")
                          : FormatText(64, L"the scheduler in process %u", processId);
}
