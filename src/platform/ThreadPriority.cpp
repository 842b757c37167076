#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/LastError.h"
#include "platform/ProgramLauncher.h"

namespace {

constexpr int kNiceStepPerPriority = 5;
constexpr int kLowestNice = 19;
constexpr int kHighestNice = -20;

int ProcessNice() {
    // The main thread's nice value: every thread's own value starts from its creator's.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::getpid()));
    return errno == 0 ? nice : 0;
}

}  // namespace

// Priorities are nice values here. The launcher is made first, while no thread is lowered yet:
// made by a lowered thread, it could not give programs the process's priority without privilege.
bool SetSystemThreadPriority(DWORD threadId, int priority) {
    ProgramLauncher::Instance();
    const int nice =
        std::clamp(ProcessNice() - priority * kNiceStepPerPriority, kHighestNice, kLowestNice);
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    return true;
}
