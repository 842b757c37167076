#include "support/ChildProcess.h"

#include <fcntl.h>
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
    Spawn("/proc/self/exe", std::move(words), nullptr);
}

ChildProcess::ChildProcess(const Program& program, const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, program.outputFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_addopen(&actions, 2, program.errorFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words{program.path};
    words.insert(words.end(), args.begin(), args.end());
    try {
        Spawn(program.path, std::move(words), &actions);
    } catch (...) {
        ::posix_spawn_file_actions_destroy(&actions);
        throw;
    }
    ::posix_spawn_file_actions_destroy(&actions);
}

void ChildProcess::Spawn(const std::string& path, std::vector<std::string> words,
                         const posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&m_pid, path.c_str(), actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + path);
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
