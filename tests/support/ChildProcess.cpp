#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

struct ChildProcess::Running {
    pid_t pid = -1;
    bool reaped = false;
    int status = 0;
};

namespace {

pid_t Spawn(const std::string& path, std::vector<std::string> words,
            const posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), actions, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + path);
    }
    return pid;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args,
                           bool unprivileged)
    : m_running(std::make_unique<Running>()) {
    std::vector<std::string> words{"/proc/self/exe", kChildRoleSwitch + role};
    if (unprivileged) {
        words.emplace_back(kChildUnprivilegedSwitch);
    }
    words.insert(words.end(), args.begin(), args.end());
    m_running->pid = Spawn("/proc/self/exe", std::move(words), nullptr);
}

ChildProcess::ChildProcess(const Program& program, const std::vector<std::string>& args)
    : m_running(std::make_unique<Running>()) {
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
        m_running->pid = Spawn(program.path, std::move(words), &actions);
    } catch (...) {
        ::posix_spawn_file_actions_destroy(&actions);
        throw;
    }
    ::posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (!m_running->reaped) {
        Kill();
        Wait();
    }
}

int ChildProcess::Pid() const {
    return m_running->pid;
}

int ChildProcess::Wait() {
    Running& child = *m_running;
    if (!child.reaped) {
        while (::waitpid(child.pid, &child.status, 0) < 0 && errno == EINTR) {
        }
        child.reaped = true;
    }
    return WIFSIGNALED(child.status) ? 128 + WTERMSIG(child.status) : WEXITSTATUS(child.status);
}

void ChildProcess::Kill() {
    Kill(SIGKILL);
}

void ChildProcess::Kill(int signal) {
    if (!m_running->reaped) {
        ::kill(m_running->pid, signal);
    }
}
