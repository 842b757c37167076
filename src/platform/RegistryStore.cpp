#include "platform/RegistryStore.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"
#include "platform/GuardedObject.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "platform/RegistryText.h"
#include "platform/UserFolders.h"
#include "platform/WideText.h"

namespace {

constexpr std::size_t kMaxTreeFileBytes = 64u << 20;
constexpr const wchar_t* kLockFileName = L".lock";
constexpr const wchar_t* kTreeFileExtension = L".reg";
// A writer holds the lock for one tree's load and flushed save; far longer means a writer that
// hangs. Waiters poll, and many busy writers on a loaded machine can keep one waiting for some
// seconds, so the limit leaves room for that.
constexpr auto kWritersLockLimit = std::chrono::milliseconds(30000);

std::wstring DefaultRootFolder() {
    return JoinPath(AgentStateFolder(), L"registry");
}

std::wstring TreeFilePath(const std::wstring& root, RegistryHive hive) {
    return JoinPath(root, std::wstring(RegistryHiveName(hive)) + kTreeFileExtension);
}

// Makes the folder and every missing folder above it.
LSTATUS MakeFolderPath(const std::wstring& folder) {
    FileStatus status;
    if (QueryFileStatus(folder, status, true) == ERROR_SUCCESS) {
        return status.isDirectory ? ERROR_SUCCESS : ERROR_DIRECTORY;
    }
    const std::wstring parent = ParentPath(folder);
    if (!parent.empty() && parent != folder) {
        if (const LSTATUS error = MakeFolderPath(parent); error != ERROR_SUCCESS) {
            return error;
        }
    }
    const DWORD error = MakeDirectory(folder);
    return static_cast<LSTATUS>(error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error);
}

LSTATUS ParseTree(const std::string& text, CRegistryTree& root) {
    if (!ReadRegistryText(text, root)) {
        root.Clear();
        return ERROR_BADDB;
    }
    return ERROR_SUCCESS;
}

LSTATUS LoadTreeFile(const std::wstring& path, CRegistryTree& root) {
    std::string text;
    const DWORD error = ReadRegularFile(path, text, kMaxTreeFileBytes);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    return ParseTree(text, root);
}

// Holds the writers' lock of one root folder while it lives. Only those who may write the root
// can open the lock file, so nobody else can hold the writers up.
class WritersLock {
public:
    explicit WritersLock(const std::wstring& root) {
        const std::optional<ObjectAccess> access = ObjectAccess::ForFolder(root);
        if (!access) {
            m_error = static_cast<LSTATUS>(GetLastError());
            return;
        }
        m_fd = OpenGuardedObject(ObjectSpace::Files, WideToUtf8(JoinPath(root, kLockFileName)),
                                 *access);
        m_error = static_cast<LSTATUS>(m_fd.IsValid()
                                           ? LockGuardedObject(m_fd.Get(), true, kWritersLockLimit)
                                           : GetLastError());
    }
    LSTATUS Error() const { return m_error; }

private:
    FileDescriptor m_fd;  // closing it releases the lock
    LSTATUS m_error = ERROR_SUCCESS;
};

}  // namespace

std::wstring RegistryRootFolder() {
    const char* configured = std::getenv("ZYN_REGISTRY");
    if (configured != nullptr && configured[0] != '\0') {
        return Utf8ToWideLossy(configured);
    }
    return DefaultRootFolder();
}

const wchar_t* RegistryHiveName(RegistryHive hive) {
    return hive == RegistryHive::ClassesRoot ? L"HKEY_CLASSES_ROOT" : L"HKEY_LOCAL_MACHINE";
}

LSTATUS LoadRegistryHive(RegistryHive hive, CRegistryTree& root) {
    return LoadTreeFile(TreeFilePath(RegistryRootFolder(), hive), root);
}

LSTATUS CheckRegistryWritable() {
    const std::wstring root = RegistryRootFolder();
    if (const LSTATUS error = MakeFolderPath(root); error != ERROR_SUCCESS) {
        return error;
    }
    return ::access(WideToUtf8(root).c_str(), W_OK) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS UpdateRegistryHive(RegistryHive hive, const RegistryChange& change) {
    const std::wstring root = RegistryRootFolder();
    if (const LSTATUS error = MakeFolderPath(root); error != ERROR_SUCCESS) {
        return error;
    }
    const WritersLock lock(root);
    if (lock.Error() != ERROR_SUCCESS) {
        return lock.Error();
    }
    const std::wstring path = TreeFilePath(root, hive);
    CRegistryTree tree;
    if (const LSTATUS error = LoadTreeFile(path, tree); error != ERROR_SUCCESS) {
        return error;
    }
    bool changed = false;
    if (const LSTATUS result = change(tree, changed); result != ERROR_SUCCESS || !changed) {
        return result;
    }
    const std::string text = WriteRegistryText(tree, RegistryHiveName(hive));
    return static_cast<LSTATUS>(ReplaceFileAtomically(path, {text}, true));
}
