// The programs as a person runs them, each test in a sandbox of its own: a temporary registry
// root (inherited by every program started), a work folder inside a temporary folder, and the
// agent log pointed at that folder, so that nothing of the machine's own settings is touched.
// The daemon and the client are the built programs themselves.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/TempRegistry.h"

struct ProgramResult {
    int status = -1;
    std::string output;
    std::string errors;
};

class ProductSandbox {
public:
    ProductSandbox();

    std::wstring Folder(const std::wstring& name) const { return m_folder / name; }
    std::string WorkFolder() const;
    std::string LockFile() const {
        return WorkFolder() + "/ZynTaskSchedulerLock/taskSchedulerLock.tmp";
    }
    // Writes `text` into the sandbox's folder as `name`; answers the file's path.
    std::string WriteFile(const std::string& name, const std::string& text) const;

    // zyntask with `args` (after --work-folder), to its end.
    ProgramResult Client(const std::vector<std::string>& args) const;
    // zyntask with `args` (after --work-folder), started and left running; Output(name) reads
    // what it wrote.
    std::unique_ptr<ChildProcess> StartClient(const std::vector<std::string>& args,
                                              const std::string& name) const;
    ProgramResult Output(const std::string& name, int status) const;
    // zyntaskd on the work folder with `args`; its standard error goes to DaemonErrors().
    std::unique_ptr<ChildProcess> StartDaemon(const std::vector<std::string>& args = {},
                                              const std::string& name = "daemon") const;
    std::string DaemonErrors(const std::string& name = "daemon") const;
    // Whether the daemon named `name` said it is running, now or within `seconds`.
    bool SaysRunning(const std::string& name) const;
    bool WaitUntilRunning(const std::string& name = "daemon", int seconds = 30) const;

private:
    std::unique_ptr<ChildProcess> Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const std::string& name) const;

    TempRegistry m_registry;
    TempFolder m_folder;
};

// How many trials a race test makes: ZYN_RACE_TRIALS, or a few so that the suite stays short.
int RaceTrials();
// Polls `condition` every 20 ms for up to `seconds`.
bool WaitUntil(const std::function<bool()>& condition, int seconds);
// Whether a file or folder is at `path`; the bytes of a file, "" when it cannot be read.
bool Exists(const std::string& path);
std::string FileText(const std::string& path);
// A once-trigger at `when`, "YYYY-MM-DD HH:MM:SS" in local time.
std::string OnceAt(const std::string& when);
// A task document: schedule `name`, the triggers given, running `command` through /bin/sh.
std::string TaskDocument(const std::string& name, const std::string& triggers,
                         const std::string& command);
// "YYYY-MM-DD HH:MM:SS", `seconds` from now in local time.
std::string LocalTimeFromNow(int seconds);
