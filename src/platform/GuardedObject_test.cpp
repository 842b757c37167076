#include "platform/GuardedObject.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

constexpr uid_t kStranger = 4444;
constexpr gid_t kStrangersGroup = 4545;
constexpr uid_t kFolderOwner = 4242;  // when root can give the folder away
constexpr gid_t kFolderGroup = 4343;
constexpr char kMarker = 'X';

bool IsRoot() {
    return ::geteuid() == 0;
}

// Who an object found at the name belongs to; None: there is none yet.
enum class Owner { None, Self, Root, FolderOwner, Stranger };
enum class Group { Folders, Strangers };

struct ObjectRow {
    const char* what;
    Owner owner;
    Group group;
    mode_t mode;
    mode_t folderMode;
    bool used;
};

const ObjectRow kObjectRows[] = {
    {"new, folder writable by its group", Owner::None, Group::Folders, 0, 0770, false},
    {"new, folder writable by its owner alone", Owner::None, Group::Folders, 0, 0755, false},
    {"root's, closed to others", Owner::Root, Group::Folders, 0660, 0770, true},
    {"the folder owner's", Owner::FolderOwner, Group::Folders, 0660, 0770, true},
    {"our own", Owner::Self, Group::Folders, 0600, 0770, true},
    {"another group may only read", Owner::Self, Group::Strangers, 0640, 0770, true},
    {"squatted by another account", Owner::Stranger, Group::Folders, 0600, 0770, false},
    {"squatted, open to everyone", Owner::Stranger, Group::Strangers, 0666, 0770, false},
    {"our own, readable by others", Owner::Self, Group::Folders, 0604, 0770, false},
    {"root's, writable by others", Owner::Root, Group::Folders, 0602, 0770, false},
    {"writable by another group", Owner::Root, Group::Strangers, 0660, 0770, false},
};

bool NeedsRoot(const ObjectRow& row) {
    return row.owner == Owner::Root || row.owner == Owner::Stranger ||
           row.group == Group::Strangers;
}

// A folder the objects guard: given away to another account when we are root.
struct GuardedFolder {
    GuardedFolder(const TempFolder& parent, mode_t mode) : path(WideToUtf8(parent / L"guarded")) {
        EXPECT_EQ(::mkdir(path.c_str(), mode), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        if (IsRoot()) {
            EXPECT_EQ(::chown(path.c_str(), kFolderOwner, kFolderGroup), 0);
        }
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0);
        owner = status.st_uid;
        group = status.st_gid;
    }
    std::string path;
    uid_t owner = 0;
    gid_t group = 0;
};

uid_t OwnerId(Owner owner, const GuardedFolder& folder) {
    switch (owner) {
        case Owner::Root:
            return 0;
        case Owner::FolderOwner:
            return folder.owner;
        case Owner::Stranger:
            return kStranger;
        default:
            return ::geteuid();
    }
}

int RawOpen(ObjectSpace space, const std::string& name, int flags) {
    return space == ObjectSpace::SharedMemory ? ::shm_open(name.c_str(), flags, 0600)
                                              : ::open(name.c_str(), flags, 0600);
}

void RawRemove(ObjectSpace space, const std::string& name) {
    if (space == ObjectSpace::SharedMemory) {
        ::shm_unlink(name.c_str());
    } else {
        ::unlink(name.c_str());
    }
}

// Leaves an object holding the marker at `name`, as the row describes it.
void Plant(ObjectSpace space, const std::string& name, const ObjectRow& row,
           const GuardedFolder& folder) {
    const FileDescriptor file(RawOpen(space, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC));
    ASSERT_TRUE(file.IsValid()) << name;
    ASSERT_EQ(::write(file.Get(), &kMarker, 1), 1);
    const gid_t group = row.group == Group::Folders ? folder.group : kStrangersGroup;
    ASSERT_EQ(::fchown(file.Get(), OwnerId(row.owner, folder), group), 0);
    ASSERT_EQ(::fchmod(file.Get(), row.mode), 0);
}

std::string ObjectName(ObjectSpace space, const GuardedFolder& folder, std::size_t row) {
    const std::string leaf = "zyn.test." + std::to_string(::getpid()) + "." + std::to_string(row);
    return space == ObjectSpace::SharedMemory ? "/" + leaf : folder.path + "/" + leaf;
}

TEST(GuardedObjectTest, AnObjectIsUsedOnlyWhenOnlyTrustedAccountsCanUseIt) {
    for (const ObjectSpace space : {ObjectSpace::SharedMemory, ObjectSpace::Files}) {
        for (std::size_t i = 0; i < std::size(kObjectRows); ++i) {
            const ObjectRow& row = kObjectRows[i];
            if (NeedsRoot(row) && !IsRoot()) {
                continue;  // only root can leave another account's object
            }
            SCOPED_TRACE(std::string(row.what) +
                         (space == ObjectSpace::Files ? " (file)" : " (shared memory)"));
            TempFolder temp;
            const GuardedFolder folder(temp, row.folderMode);
            const std::string name = ObjectName(space, folder, i);
            if (row.owner != Owner::None) {
                Plant(space, name, row, folder);
            }
            const ObjectAccess access = *ObjectAccess::ForFolder(Utf8ToWideLossy(folder.path));
            const FileDescriptor file = OpenGuardedObject(space, name, access);
            ASSERT_TRUE(file.IsValid()) << "error " << GetLastError();
            struct stat status {};
            ASSERT_EQ(::fstat(file.Get(), &status), 0);
            if (row.used) {
                char byte = 0;
                EXPECT_EQ(::pread(file.Get(), &byte, 1, 0), 1);
                EXPECT_EQ(byte, kMarker);
            } else {
                EXPECT_EQ(status.st_size, 0) << "made anew";
                EXPECT_EQ(status.st_uid, ::geteuid());
                EXPECT_EQ(status.st_gid, folder.group);
                EXPECT_EQ(status.st_mode & 0777, (row.folderMode & 0020) != 0 ? 0660u : 0600u);
            }
            RawRemove(space, name);
        }
    }
}

// Opens args[1] (shared memory when args[0] is "memory") for the folder args[2]: 0 when
// refused as it must be.
ZYN_CHILD_ROLE(OpenStrangersObject) {
    const ObjectSpace space =
        args.at(0) == "memory" ? ObjectSpace::SharedMemory : ObjectSpace::Files;
    const auto access = ObjectAccess::ForFolder(Utf8ToWideLossy(args.at(2)));
    if (!access) {
        return 2;
    }
    const FileDescriptor file = OpenGuardedObject(space, args.at(1), *access);
    return !file.IsValid() && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1;
}

TEST(GuardedObjectTest, AnAccountThatMayNotReplaceARefusedObjectIsDenied) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root to leave another account's object and to act as nobody";
    }
    TempFolder temp;
    ASSERT_EQ(::chmod(WideToUtf8(temp.Path()).c_str(), 0755), 0);
    const GuardedFolder folder(temp, 0755);
    // Nobody's own folder: the system would let nobody remove the object; the rule does not.
    ASSERT_EQ(::chown(folder.path.c_str(), 65534, 65534), 0);
    const ObjectRow squatted{"squatted", Owner::Stranger, Group::Strangers, 0666, 0755, false};
    for (const ObjectSpace space : {ObjectSpace::SharedMemory, ObjectSpace::Files}) {
        const std::string name = ObjectName(space, folder, 0);
        Plant(space, name, squatted, folder);
        ChildProcess nobody(
            "OpenStrangersObject",
            {space == ObjectSpace::SharedMemory ? "memory" : "file", name, folder.path}, true);
        EXPECT_EQ(nobody.Wait(), 0) << name;
        const FileDescriptor left(RawOpen(space, name, O_RDONLY | O_CLOEXEC));
        char byte = 0;
        EXPECT_EQ(::pread(left.Get(), &byte, 1, 0), 1) << "the object stays where it was";
        RawRemove(space, name);
    }
}

}  // namespace
