// Which process holds a work folder, and how to name it in a line for a person. The holder is
// read from the folder's lock file; see WorkFolderLock. Thread-safe.
#pragma once

#include <string>

#include "platform/WorkFolderLock.h"

class FolderHolder {
public:
    static WorkFolderLock::HolderInfo Of(const std::wstring& workFolder);
    // "the scheduler in process N", or "another scheduler" when the id is not known (0).
    static std::wstring Describe(DWORD processId);
};
