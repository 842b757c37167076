#include "support/PrivateSharedMemory.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Failed(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

}  // namespace

std::string UsePrivateSharedMemory(bool readOnly) {
    if (::unshare(CLONE_NEWNS) != 0) {
        return Failed("no mount namespace of our own");
    }
    // Without this, the new mount would show in the namespace we came from.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return Failed("cannot keep mounts private");
    }
    if (::mount("zyntest-shm", "/dev/shm", "tmpfs", readOnly ? MS_RDONLY : 0, "mode=1777") != 0) {
        return Failed("cannot mount a tmpfs over /dev/shm");
    }
    return {};
}
