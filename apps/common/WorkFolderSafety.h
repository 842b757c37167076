// The check of a work folder before a scheduler runs anything from it or a task is added to
// it. A task document is a command line, so whoever can write one runs programs as the
// scheduler: the folder must belong to this process's user and be writable by nobody else. Missing
// folders are created for the owner alone (0700); folders that already existed above the work
// folder are the administrator's. Failures throw AppFailure with the reason and what to do. One
// thread.
#pragma once

#include <string>

class WorkFolderSafety {
public:
    // Creates `folder` (an absolute path) when missing and checks it and every folder created
    // for it.
    static void Prepare(const std::wstring& folder);

private:
    static void CheckOwnership(const std::wstring& folder);
    static void CheckWritable(const std::wstring& folder);
};
