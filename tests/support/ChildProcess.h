// Starting a second process for a test: this test program again in a named role
// (support/ChildRole.h), or another program.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/ChildRole.h"

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
