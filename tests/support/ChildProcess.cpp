#include "support/ChildProcess.h"

#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace {

constexpr const char* kRoleSwitch = "--zyn-child=";
constexpr const char* kUnprivilegedSwitch = "--zyn-unprivileged";
constexpr uid_t kNobody = 65534;

std::map<std::string, ChildRoleFunction>& Roles() {
    static std::map<std::string, ChildRoleFunction> roles;
    return roles;
}

bool DropRoot() {
    if (::geteuid() != 0) {
        return true;
    }
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

}  // namespace

ChildRoleRegistration::ChildRoleRegistration(const char* name, ChildRoleFunction function) {
    Roles()[name] = function;
}

bool RunChildRoleIfRequested(int argc, char** argv, int& exitCode) {
    if (argc < 2 || std::strncmp(argv[1], kRoleSwitch, std::strlen(kRoleSwitch)) != 0) {
        return false;
    }
    const auto role = Roles().find(argv[1] + std::strlen(kRoleSwitch));
    if (role == Roles().end()) {
        exitCode = 125;
        return true;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (!args.empty() && args.front() == kUnprivilegedSwitch) {
        args.erase(args.begin());
        if (!DropRoot()) {
            exitCode = 126;
            return true;
        }
    }
    exitCode = role->second(args);
    return true;
}

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args,
                           bool unprivileged) {
    std::vector<std::string> words{"/proc/self/exe", kRoleSwitch + role};
    if (unprivileged) {
        words.emplace_back(kUnprivilegedSwitch);
    }
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&m_pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start the child process");
    }
}

ChildProcess::~ChildProcess() {
    if (!m_reaped) {
        Kill(SIGKILL);
        Wait();
    }
}

int ChildProcess::Wait() {
    if (!m_reaped) {
        while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
    }
    return WIFSIGNALED(m_status) ? 128 + WTERMSIG(m_status) : WEXITSTATUS(m_status);
}

void ChildProcess::Kill(int signal) {
    if (!m_reaped) {
        ::kill(m_pid, signal);
    }
}
