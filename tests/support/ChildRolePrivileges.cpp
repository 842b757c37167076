#include <grp.h>
#include <unistd.h>

#include "support/ChildRole.h"

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

bool DropRootForChildRole() {
    if (::geteuid() != 0) {
        return true;
    }
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}
