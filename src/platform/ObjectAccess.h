// Who may use a named object that guards a folder (a shared section, a named mutex, a lock
// file): exactly the accounts that may write that folder. Whoever can open such an object can
// also truncate it, lock it or hold it for ever, so nobody else gets any access to it.
//
// On this platform the folder's writers are its owner and, when the folder is group-writable,
// its group (root always). A new object belongs to its creator and to the folder's group, and
// is readable and writable by its owner, and by that group only when the folder is
// group-writable; others get nothing, whatever the folder grants them. An existing object is
// used only when a trusted account could have made it so: a regular file owned by root, by this
// process's user or by the folder's owner, granting nothing to others, and granting group write
// to no group but the folder's. Where objects carry access lists instead of modes, the same
// value stands for the folder's writers as the object's access list: on Windows, where the
// named objects live in the system's namespace, that list admits SYSTEM, the Administrators and
// the process's own account, and nobody else; an existing object is used when a trusted account
// (one of those) owns it.
//
// A plain value, copied freely; thread-safe. Only ForFolder fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

class ObjectAccess {
public:
    // For objects that guard `folder` (links followed). Empty, with the last-error value set,
    // when the folder cannot be looked at or is no folder (ERROR_DIRECTORY).
    static std::optional<ObjectAccess> ForFolder(std::wstring_view folder);

    // Whether an existing object, as `object` describes it, may be used.
    bool Admits(const FileStatus& object) const;
#ifdef _WIN32
    // The security descriptor of a new object, in the system's string form.
    const std::wstring& SecurityDescriptor() const {
        return m_descriptor;
    }
    // Whether an existing kernel object (a HANDLE) may be used: a trusted account owns it.
    bool AdmitsKernelObject(void* object) const;

private:
    ObjectAccess(std::wstring descriptor, std::uint32_t folderOwner)
        : m_descriptor(std::move(descriptor)), m_owner(folderOwner) {}

    bool IsTrustedOwner(std::uint32_t ownerId) const;

    std::wstring m_descriptor;
    std::uint32_t m_owner;
#else
    // The permission bits and group of a new object.
    std::uint32_t Mode() const {
        return m_groupWritable ? 0660 : 0600;
    }
    std::uint32_t Group() const {
        return m_group;
    }

private:
    static constexpr std::uint32_t kGroupWrite = 0020;
    static constexpr std::uint32_t kOthersAll = 0007;

    explicit ObjectAccess(const FileStatus& folder)
        : m_owner(folder.ownerId),
          m_group(folder.groupId),
          m_groupWritable((folder.mode & kGroupWrite) != 0) {}

    std::uint32_t m_owner;
    std::uint32_t m_group;
    bool m_groupWritable;
#endif
};
