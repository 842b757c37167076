#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args,
                           bool unprivileged) {
    std::vector<std::string> words{"/proc/self/exe", kChildRoleSwitch + role};
    if (unprivileged) {
        words.emplace_back(kChildUnprivilegedSwitch);
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
