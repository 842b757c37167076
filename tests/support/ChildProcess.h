// Tests that need a second process run their own test program again in a named role. A role
// is a function registered with ZYN_CHILD_ROLE; the test main runs it instead of the tests
// when the program is started with "--zyn-child=<role>", and its result is the exit status.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

using ChildRoleFunction = int (*)(const std::vector<std::string>& args);

struct ChildRoleRegistration {
    ChildRoleRegistration(const char* name, ChildRoleFunction function);
};

#define ZYN_CHILD_ROLE(name)                                                     \
    static int name##_Role(const std::vector<std::string>& args);                \
    static const ChildRoleRegistration name##_registration(#name, &name##_Role); \
    static int name##_Role([[maybe_unused]] const std::vector<std::string>& args)

// Runs a registered role when argv asks for one; false when argv is a normal test run.
bool RunChildRoleIfRequested(int argc, char** argv, int& exitCode);

class ChildProcess {
public:
    // Starts this program in `role`. With `unprivileged`, a child started by root gives up
    // root for the "nobody" account first, so that permissions bind it as they bind users.
    ChildProcess(const std::string& role, const std::vector<std::string>& args = {},
                 bool unprivileged = false);
    // Starts another program with `args`, its standard output and error written to the files
    // named (created or emptied), its standard input /dev/null.
    struct Program {
        std::string path;
        std::string outputFile;
        std::string errorFile;
    };
    ChildProcess(const Program& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    // The exit status, or 128 + the signal that ended it.
    int Wait();
    void Kill(int signal);

private:
    void Spawn(const std::string& path, std::vector<std::string> words,
               const posix_spawn_file_actions_t* actions);

    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};
