// Starting a second process for a test: this test program again in a named role
// (support/ChildRole.h), or another program.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/ChildRole.h"

// What Wait answers for a child that Kill() ended: on Linux the status of a SIGKILL, on Windows
// the exit code Kill() gives the process.
inline constexpr int kKilledExitStatus = 128 + 9;

class ChildProcess {
public:
    // Starts this program in `role`. With `unprivileged`, a child started by root gives up
    // root for the "nobody" account first, so that permissions bind it as they bind users.
    ChildProcess(const std::string& role, const std::vector<std::string>& args = {},
                 bool unprivileged = false);
    // Starts another program with `args`, its standard output and error written to the files
    // named (created or emptied), its standard input the null device.
    struct Program {
        std::string path;
        std::string outputFile;
        std::string errorFile;
    };
    ChildProcess(const Program& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int Pid() const;
    // The exit status, or 128 + the signal that ended it.
    int Wait();
    // Ends the child at once, as a crash would (kKilledExitStatus).
    void Kill();
    // Sends `signal` (Linux); on Windows ends the child with exit code 128 + `signal`.
    void Kill(int signal);

private:
    struct Running;  // the system's handle on the child
    std::unique_ptr<Running> m_running;
};
